#include "kestuctl/lab_page/lab_pages.h"

#include <QString>

#include "trials/participant.h"

namespace kestu::lab {

namespace {

const char* const Style = R"css(
:root { --bg:#12161c; --tile:#1d242e; --text:#e8edf2; --dim:#93a1b0; --bar:#3b82f6;
        --silent:#e11d48; --outbox:#f59e0b; --nores:#c026d3; --disagree:#7c3aed; --ok:#22c55e; }
* { box-sizing:border-box; }
body { margin:0; background:var(--bg); color:var(--text); font:16px/1.35 "DejaVu Sans", Arial, sans-serif; }
header { display:flex; align-items:baseline; gap:1.5em; padding:14px 22px; background:#0b0e12; border-bottom:1px solid #2a3340; }
header h1 { font-size:22px; margin:0; }
header .db { color:var(--dim); font-size:14px; }
header nav { margin-left:auto; }
a { color:#7cb7ff; }
#summary { font-size:18px; }
#summary .n { font-weight:bold; }
#summary .bad { color:#ff6b81; }
#down { display:none; margin:14px 22px 0; padding:14px 18px; background:var(--silent); color:#fff; font-size:24px; font-weight:bold; border-radius:8px; }
#lost { display:none; margin:14px 22px 0; padding:10px 18px; background:#5b6470; color:#fff; font-size:18px; border-radius:8px; }
#empty { margin:40px 22px; color:var(--dim); font-size:20px; }
#tiles { display:grid; grid-template-columns:repeat(auto-fill, minmax(290px, 1fr)); gap:16px; padding:18px 22px; }
.tile { background:var(--tile); border-radius:10px; padding:14px 16px; border:4px solid transparent; }
.tile.alarmed { border-color:var(--silent); background:#2a1d26; }
.tile.alarmed.outbox { border-color:var(--outbox); background:#2a261d; }
.top { display:flex; justify-content:space-between; align-items:baseline; }
.seat { font-size:22px; font-weight:bold; }
.phase { font-size:14px; padding:2px 10px; border-radius:999px; background:#334155; }
.phase.Running { background:#166534; }
.phase.Ended { background:#1e3a8a; }
.phase.CutShort { background:#7f1d1d; }
.who { margin-top:8px; font-size:19px; }
.who .user { font-weight:bold; }
.who .trial { color:var(--dim); margin-left:.4em; }
.barbox { position:relative; height:22px; margin-top:10px; background:#0f141a; border-radius:5px; overflow:hidden; }
.barfill { position:absolute; left:0; top:0; bottom:0; background:var(--bar); }
.clock { position:absolute; left:0; right:0; text-align:center; font-size:14px; line-height:22px; font-variant-numeric:tabular-nums; text-shadow:0 0 3px #000, 0 0 2px #000; }
.facts { display:flex; justify-content:space-between; margin-top:8px; color:var(--dim); font-size:15px; }
.facts b { color:var(--text); font-variant-numeric:tabular-nums; }
.alarm { margin-top:10px; padding:10px 12px; border-radius:6px; font-size:19px; font-weight:bold; color:#fff; }
.alarm.silent { background:var(--silent); font-size:24px; }
.alarm.outbox { background:var(--outbox); color:#111; }
.alarm.no-results { background:var(--nores); }
.alarm.log-disagrees { background:var(--disagree); }
table { border-collapse:collapse; margin:10px 22px 26px; min-width:60%; }
th, td { text-align:right; padding:5px 12px; border-bottom:1px solid #2a3340; font-variant-numeric:tabular-nums; }
th { color:var(--dim); font-weight:normal; }
td.l, th.l { text-align:left; }
h2 { margin:22px 22px 4px; font-size:20px; }
.none { color:var(--dim); margin:4px 22px 20px; }
)css";

const char* const Script = R"js(
'use strict';
const token = new URLSearchParams(location.search).get('token');
const query = token ? '?token=' + encodeURIComponent(token) : '';
document.getElementById('plink').href = '/participants' + query;
const tiles = document.getElementById('tiles');
const shown = new Map();

function two(n) { return String(n).padStart(2, '0'); }
function clockText(seconds) { return two(Math.floor(seconds / 60)) + ':' + two(seconds % 60); }
function el(tag, cls, parent) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (parent) parent.appendChild(e);
  return e;
}
function makeTile(name) {
  const t = el('div', 'tile');
  t.dataset.seat = name;
  const top = el('div', 'top', t);
  el('span', 'seat', top).textContent = name;
  el('span', 'phase', top);
  const who = el('div', 'who', t);
  el('span', 'user', who);
  el('span', 'trial', who);
  const box = el('div', 'barbox', t);
  el('div', 'barfill', box);
  el('div', 'clock', box);
  const facts = el('div', 'facts', t);
  const m = el('span', '', facts); m.append('Missed '); el('b', 'missed', m);
  const s = el('span', '', facts); s.append('Last report '); el('b', 'since', s); s.append(' s ago');
  el('div', 'alarms', t);
  return t;
}
function fill(t, s) {
  t.querySelector('.phase').textContent = s.phase;
  t.querySelector('.phase').className = 'phase ' + s.phase;
  t.querySelector('.user').textContent = s.user || 'no participant';
  t.querySelector('.trial').textContent =
      s.mode === 'Experiment' ? (s.trial > 0 ? 'trial ' + s.trial : '') : s.mode.toLowerCase();
  const share = s.end > 0 ? Math.min(1, Math.max(0, s.clock / s.end)) : 0;
  t.querySelector('.barfill').style.width = (100 * share).toFixed(1) + '%';
  t.querySelector('.clock').textContent = clockText(s.clock) + (s.end > 0 ? ' / ' + clockText(s.end) : '');
  t.querySelector('.missed').textContent = s.missed;
  t.querySelector('.since').textContent = s.silentFor;
  const box = t.querySelector('.alarms');
  box.replaceChildren();
  for (const a of s.alarms) el('div', 'alarm ' + a.kind, box).textContent = a.text;
  t.classList.toggle('alarmed', s.alarms.length > 0);
  t.classList.toggle('outbox', s.alarms.length > 0 && s.alarms.every(a => a.kind === 'outbox'));
}
function draw(snap) {
  document.getElementById('lost').style.display = 'none';
  document.getElementById('db').textContent = snap.database;
  const down = document.getElementById('down');
  down.style.display = snap.answering ? 'none' : 'block';
  down.textContent = snap.answering ? '' :
      'Database not answering since ' + snap.notAnsweringSince + ': ' + snap.fault;
  const names = new Set();
  for (const s of snap.seats) {
    names.add(s.seat);
    let t = shown.get(s.seat);
    if (!t) { t = makeTile(s.seat); shown.set(s.seat, t); tiles.appendChild(t); }
    fill(t, s);
  }
  for (const [name, t] of shown) if (!names.has(name)) { t.remove(); shown.delete(name); }
  const running = snap.seats.filter(s => s.phase === 'Running').length;
  const sum = document.getElementById('summary');
  sum.replaceChildren();
  const part = (n, word, bad) => { const b = el('span', 'n' + (bad && n > 0 ? ' bad' : ''), sum); b.textContent = n; sum.append(' ' + word + '  '); };
  part(snap.seats.length, snap.seats.length === 1 ? 'seat' : 'seats');
  part(running, 'running');
  part(snap.alarmCount, snap.alarmCount === 1 ? 'alarm' : 'alarms', true);
  document.getElementById('empty').style.display = snap.seats.length ? 'none' : 'block';
  document.body.dataset.serial = snap.serial;
}
const events = new EventSource('/events' + query);
events.onmessage = e => draw(JSON.parse(e.data));
events.onerror = () => {
  const lost = document.getElementById('lost');
  lost.textContent = 'The page lost its connection to kestuctl serve; it keeps trying.';
  lost.style.display = 'block';
};
)js";

std::string Page(const std::string& title, const std::string& body, const std::string& script)
{
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<link rel=\"icon\" href=\"data:,\"><title>" +
           title + "</title><style>" + Style + "</style></head>\n<body>\n" + body +
           (script.empty() ? std::string() : "<script>" + script + "</script>\n") + "</body></html>\n";
}

std::string Fixed(const std::optional<double>& value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals).toStdString() : std::string("&ndash;");
}

}  // namespace

std::string HtmlEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

const std::string& SeatPageHtml()
{
    static const std::string page = Page(
        "Kestu lab",
        "<header><h1>Kestu lab</h1><span class=\"db\" id=\"db\"></span><span id=\"summary\"></span>"
        "<nav><a id=\"plink\" href=\"/participants\">Participants</a></nav></header>\n"
        "<div id=\"down\"></div><div id=\"lost\"></div>\n"
        "<div id=\"empty\">No seat has reported yet.</div>\n<main id=\"tiles\"></main>\n",
        Script);
    return page;
}

std::string ParticipantsHtml(const LabSnapshot& snapshot, const std::string& tokenQuery)
{
    std::string body = "<header><h1>Participants</h1><span class=\"db\">" + HtmlEscaped(snapshot.database) +
                       "</span><nav><a href=\"/" + HtmlEscaped(tokenQuery) + "\">Seats</a></nav></header>\n";
    if (!snapshot.answering)
        body += "<div id=\"down\" style=\"display:block\">Database not answering since " +
                HtmlEscaped(snapshot.notAnsweringSince) + ": " + HtmlEscaped(snapshot.fault) + "</div>\n";
    if (snapshot.participants.empty()) body += "<p class=\"none\">No participants yet.</p>\n";
    for (const ParticipantLine& p : snapshot.participants) {
        const std::string id = HtmlEscaped(p.userId);
        body += "<h2 id=\"u-" + id + "\">" + (p.userId.empty() ? std::string("(no User ID)") : id) + "</h2>\n";
        if (p.trials.empty()) {
            body += "<p class=\"none\">No trials yet.</p>\n";
            continue;
        }
        body += "<table><tr><th>Trial</th><th class=\"l\">Date</th><th>Speed (ms/tick)</th><th>Missed</th>"
                "<th>Busy</th><th>Sweep</th><th>Idle</th><th class=\"l\">Plot</th><th class=\"l\">Ticks</th></tr>\n";
        for (const TrialLine& t : p.trials) {
            const std::string base = "/trial/" + id + "/" + std::to_string(t.trial) + "/";
            const bool linkable = IsValidUserId(p.userId) && t.trial > 0;
            body += "<tr><td>" + std::to_string(t.trial) + "</td><td class=\"l\">" + HtmlEscaped(t.date) + "</td><td>" +
                    Fixed(t.speed, 0) + "</td><td>" + Fixed(t.missed, 0) + "</td><td>" + Fixed(t.busy, 3) +
                    "</td><td>" + Fixed(t.sweep, 3) + "</td><td>" + Fixed(t.idle, 3) + "</td>";
            if (linkable)
                body += "<td class=\"l\"><a href=\"" + base + "plot.png" + HtmlEscaped(tokenQuery) +
                        "\">chart</a></td><td class=\"l\"><a href=\"" + base + "ticks.csv" + HtmlEscaped(tokenQuery) +
                        "\">CSV</a></td>";
            else
                body += "<td></td><td></td>";
            body += "</tr>\n";
        }
        body += "</table>\n";
    }
    return Page("Kestu lab: participants", body, "");
}

}  // namespace kestu::lab
