#include "analysis/report_html.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

#include "analysis/chart_scale.h"
#include "analysis/plain_number.h"
#include "analysis/trial_figures.h"
#include "trials/message_text.h"

namespace kestu::analysis {

std::string HtmlEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string FixedNumber(double value, int decimals)
{
    char buffer[64];
    const auto [end, failed] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (failed != std::errc()) return PlainNumber(value);
    std::string text(buffer, end);
    // "-0.0" reads as a sign the value does not have.
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-') text.erase(0, 1);
    return text;
}

namespace {

// Text shown to the reader: bytes that are not UTF-8 and control bytes as
// \xNN, then escaped for HTML.
std::string Shown(const std::string& text, std::size_t limit = 200) { return HtmlEscaped(ForMessage(text, limit)); }

std::string N1(double value) { return FixedNumber(value, 1); }

// The plot area of a chart: pixels for values.
struct Frame {
    double left, top, width, height;
    double xLo, xHi, yLo, yHi;
    double X(double x) const { return left + (xHi == xLo ? width / 2 : (x - xLo) / (xHi - xLo) * width); }
    double Y(double y) const { return top + height - (yHi == yLo ? 0 : (y - yLo) / (yHi - yLo) * height); }
    double Right() const { return left + width; }
    double Bottom() const { return top + height; }
};

constexpr const char* SvgOpen = "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" ";

std::string SvgStart(double width, double height, const std::string& label, const std::string& cls)
{
    return std::string(SvgOpen) + "class=\"" + cls + "\" width=\"" + N1(width) + "\" height=\"" + N1(height) +
           "\" viewBox=\"0 0 " + N1(width) + " " + N1(height) + "\" aria-label=\"" + HtmlEscaped(label) + "\">";
}

std::string Text(double x, double y, const std::string& text, const std::string& extra = {})
{
    return "<text x=\"" + N1(x) + "\" y=\"" + N1(y) + "\"" + (extra.empty() ? "" : " " + extra) + ">" + text + "</text>";
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& style)
{
    return "<line x1=\"" + N1(x1) + "\" y1=\"" + N1(y1) + "\" x2=\"" + N1(x2) + "\" y2=\"" + N1(y2) + "\" " + style + "/>";
}

std::string Rect(double x, double y, double w, double h, const std::string& style, const std::string& title = {})
{
    std::string rect = "<rect x=\"" + N1(x) + "\" y=\"" + N1(y) + "\" width=\"" + N1(std::max(w, 0.0)) + "\" height=\"" +
                       N1(std::max(h, 0.0)) + "\" " + style;
    if (title.empty()) return rect + "/>";
    return rect + "><title>" + title + "</title></rect>";
}

// The trial numbers a chart's x axis spans: those of the rows, padded by one
// on each side so the first and last points sit inside the frame.
std::pair<double, double> TrialSpan(const std::vector<const RowReview*>& rows)
{
    double lo = 0, hi = 0;
    bool any = false;
    for (const RowReview* review : rows) {
        if (!review->row.Experiment) continue;
        const double trial = static_cast<double>(*review->row.Experiment);
        lo = any ? std::min(lo, trial) : trial;
        hi = any ? std::max(hi, trial) : trial;
        any = true;
    }
    if (!any) return {0, 2};
    return {lo - 0.5, hi + 0.5};
}

// Whole trial numbers under the x axis, at most about 15 of them.
std::string TrialAxis(const Frame& f, std::ostringstream& svg)
{
    const auto ticks = NiceTicks(std::ceil(f.xLo), std::floor(f.xHi), 15);
    for (double tick : ticks) {
        if (tick < f.xLo || tick > f.xHi || tick != std::floor(tick)) continue;
        svg << Line(f.X(tick), f.Bottom(), f.X(tick), f.Bottom() + 4, "stroke=\"#555\"")
            << Text(f.X(tick), f.Bottom() + 15, PlainNumber(tick), "text-anchor=\"middle\"");
    }
    svg << Text(f.left + f.width / 2, f.Bottom() + 30, "trial", "text-anchor=\"middle\" class=\"axis-name\"");
    return {};
}

std::string LearningCurve(const ParticipantReview& person, const std::vector<const RowReview*>& rows,
                          const ReportBaseline& baseline)
{
    const double width = 880, height = 250;
    const auto [xLo, xHi] = TrialSpan(rows);
    double most = std::max({baseline.missed.q3, baseline.missed.median, 1.0});
    for (const RowReview* review : rows) {
        if (review->row.MissedBuckets) most = std::max(most, *review->row.MissedBuckets);
    }
    const auto yTicks = NiceTicks(0, most, 5);
    const Frame f{56, 14, width - 56 - 190, height - 14 - 40, xLo, xHi, 0, yTicks.back()};
    std::ostringstream svg;
    svg << SvgStart(width, height, "Missed buckets of " + ForMessage(person.userId) + " by trial", "curve");
    svg << Rect(f.left, f.top, f.width, f.height, "fill=\"#fff\" stroke=\"#999\"");
    for (double tick : yTicks) {
        svg << Line(f.left, f.Y(tick), f.Right(), f.Y(tick), "stroke=\"#e4e4e4\"")
            << Text(f.left - 6, f.Y(tick) + 4, PlainNumber(tick), "text-anchor=\"end\"");
    }
    // The random clicker's middle half, and its median, behind the curve.
    const Distribution& d = baseline.missed;
    svg << Rect(f.left, f.Y(d.q3), f.width, f.Y(d.q1) - f.Y(d.q3), "class=\"band\" fill=\"#cfe0f1\"",
                "Random method: quartiles " + PlainNumber(d.q1) + " to " + PlainNumber(d.q3))
        << Line(f.left, f.Y(d.median), f.Right(), f.Y(d.median),
                "class=\"median\" stroke=\"#3a6ea5\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"");
    const double legendX = f.Right() + 14;
    svg << Rect(legendX, f.top + 4, 16, 12, "fill=\"#cfe0f1\"")
        << Text(legendX + 22, f.top + 14, "random clicks: middle half")
        << Line(legendX, f.top + 30, legendX + 16, f.top + 30, "stroke=\"#3a6ea5\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"")
        << Text(legendX + 22, f.top + 34, "random clicks: median " + PlainNumber(d.median))
        << Line(legendX, f.top + 50, legendX + 16, f.top + 50, "stroke=\"#1b1b1b\" stroke-width=\"2\"")
        << Text(legendX + 22, f.top + 54, "this participant")
        << "<circle cx=\"" << N1(legendX + 8) << "\" cy=\"" << N1(f.top + 70)
        << "\" r=\"4.5\" fill=\"#fff\" stroke=\"#c0392b\" stroke-width=\"2\"/>"
        << Text(legendX + 22, f.top + 74, "log missing or disagrees")
        << "<path d=\"M" << N1(legendX + 8) << " " << N1(f.top + 84) << " l-5 9 h10 z\" fill=\"#888\"/>"
        << Text(legendX + 22, f.top + 94, "no result stored");

    std::string points;
    for (const RowReview* review : rows) {
        if (!review->row.Experiment || !review->row.MissedBuckets) continue;
        points += (points.empty() ? "" : " ") + N1(f.X(static_cast<double>(*review->row.Experiment))) + "," +
                  N1(f.Y(*review->row.MissedBuckets));
    }
    if (!points.empty())
        svg << "<polyline class=\"participant\" points=\"" << points
            << "\" fill=\"none\" stroke=\"#1b1b1b\" stroke-width=\"2\"/>";
    for (const RowReview* review : rows) {
        if (!review->row.Experiment) continue;
        const double x = f.X(static_cast<double>(*review->row.Experiment));
        const std::string trial = std::to_string(*review->row.Experiment);
        if (!review->row.MissedBuckets) {
            svg << "<path d=\"M" << N1(x) << " " << N1(f.Bottom() - 10) << " l-5 9 h10 z\" fill=\"#888\"><title>trial "
                << trial << ": no result stored</title></path>";
            continue;
        }
        const bool disagrees = review->verdict == Verdict::Disagrees;
        svg << "<circle cx=\"" << N1(x) << "\" cy=\"" << N1(f.Y(*review->row.MissedBuckets)) << "\" r=\""
            << (disagrees ? "4.5" : "3.5") << "\" "
            << (disagrees ? "fill=\"#fff\" stroke=\"#c0392b\" stroke-width=\"2\"" : "fill=\"#1b1b1b\"") << "><title>trial "
            << trial << ": " << PlainNumber(*review->row.MissedBuckets) << " missed"
            << (disagrees ? " (flagged: the log is missing or disagrees)" : "") << "</title></circle>";
    }
    TrialAxis(f, svg);
    svg << Text(14, f.top + f.height / 2, "missed buckets",
                "text-anchor=\"middle\" class=\"axis-name\" transform=\"rotate(-90 14 " + N1(f.top + f.height / 2) + ")\"");
    svg << "</svg>";
    return svg.str();
}

constexpr const char* BusyColour = "#4a7bb0";
constexpr const char* CleaningColour = "#e39a3b";
constexpr const char* IdleColour = "#b9b9b9";

std::string PumpShares(const ParticipantReview& person, const std::vector<const RowReview*>& rows)
{
    const double width = 880, height = 160;
    const auto [xLo, xHi] = TrialSpan(rows);
    double top = 1;
    for (const RowReview* review : rows) {
        const ExperimentRow& row = review->row;
        if (row.BusyTime && row.SweepTime && row.IdleTime)
            top = std::max(top, std::max(*row.BusyTime, 0.0) + std::max(*row.SweepTime, 0.0) + std::max(*row.IdleTime, 0.0));
    }
    const Frame f{56, 10, width - 56 - 190, height - 10 - 40, xLo, xHi, 0, top};
    std::ostringstream svg;
    svg << SvgStart(width, height, "Pump shares of " + ForMessage(person.userId) + " by trial", "shares");
    svg << Rect(f.left, f.top, f.width, f.height, "fill=\"#fff\" stroke=\"#999\"");
    for (double tick : {0.0, 0.25, 0.5, 0.75, 1.0}) {
        svg << Line(f.left, f.Y(tick), f.Right(), f.Y(tick), "stroke=\"#e4e4e4\"")
            << Text(f.left - 6, f.Y(tick) + 4, PlainNumber(tick * 100) + "%", "text-anchor=\"end\"");
    }
    const double step = f.X(xLo + 1) - f.X(xLo);
    const double bar = std::min(0.7 * step, 36.0);
    for (const RowReview* review : rows) {
        const ExperimentRow& row = review->row;
        if (!row.Experiment || !row.BusyTime || !row.SweepTime || !row.IdleTime) continue;
        const double x = f.X(static_cast<double>(*row.Experiment)) - bar / 2;
        const std::string trial = "trial " + std::to_string(*row.Experiment);
        double base = 0;
        const std::pair<double, const char*> parts[] = {
            {*row.BusyTime, BusyColour}, {*row.SweepTime, CleaningColour}, {*row.IdleTime, IdleColour}};
        const char* names[] = {"busy", "cleaning", "idle"};
        for (std::size_t i = 0; i < 3; ++i) {
            const double share = std::max(parts[i].first, 0.0);
            svg << Rect(x, f.Y(base + share), bar, f.Y(base) - f.Y(base + share),
                        std::string("fill=\"") + parts[i].second + "\"",
                        trial + ": " + names[i] + " " + PlainNumber(parts[i].first));
            base += share;
        }
    }
    const double legendX = f.Right() + 14;
    const std::pair<const char*, const char*> legend[] = {
        {BusyColour, "busy"}, {CleaningColour, "cleaning"}, {IdleColour, "idle"}};
    for (std::size_t i = 0; i < 3; ++i) {
        svg << Rect(legendX, f.top + 4 + 20.0 * static_cast<double>(i), 16, 12,
                    std::string("fill=\"") + legend[i].first + "\"")
            << Text(legendX + 22, f.top + 14 + 20.0 * static_cast<double>(i), legend[i].second);
    }
    TrialAxis(f, svg);
    svg << Text(14, f.top + f.height / 2, "pump share",
                "text-anchor=\"middle\" class=\"axis-name\" transform=\"rotate(-90 14 " + N1(f.top + f.height / 2) + ")\"");
    svg << "</svg>";
    return svg.str();
}

// A colour from pale to deep red for a share 0..1 of the most missed in one cell.
std::string Heat(double share)
{
    const double t = std::clamp(share, 0.0, 1.0);
    const auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    char colour[8];
    const int r = mix(0xfd, 0x99), g = mix(0xdb, 0x10), b = mix(0xc7, 0x1f);
    const char* hex = "0123456789abcdef";
    colour[0] = '#';
    colour[1] = hex[r / 16], colour[2] = hex[r % 16];
    colour[3] = hex[g / 16], colour[4] = hex[g % 16];
    colour[5] = hex[b / 16], colour[6] = hex[b % 16];
    colour[7] = 0;
    return colour;
}

std::string TankMap(const ParticipantReview& person, const std::vector<const RowReview*>& rows)
{
    std::vector<const RowReview*> columns;
    for (const RowReview* review : rows) {
        if (review->row.Experiment) columns.push_back(review);
    }
    const double left = 56, top = 8, cellH = 11;
    const double cellW = columns.empty() ? 30 : std::clamp(620.0 / static_cast<double>(columns.size()), 4.0, 40.0);
    const double width = 880, height = top + cellH * TankCount + 46;
    int most = 1;
    for (const RowReview* review : columns) {
        if (!review->replay) continue;
        for (const auto& missed : review->replay->trial.missed.PerTank) {
            if (missed) most = std::max(most, *missed);
        }
    }
    std::ostringstream svg;
    svg << SvgStart(width, height, "Buckets missed per tank and trial by " + ForMessage(person.userId), "tanks");
    for (int tank = 0; tank < TankCount; ++tank) {
        svg << Text(left - 6, top + cellH * tank + 9, std::to_string(tank), "text-anchor=\"end\" class=\"small\"");
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const RowReview& review = *columns[c];
        const double x = left + cellW * static_cast<double>(c);
        const std::string trial = "trial " + std::to_string(*review.row.Experiment);
        if (!review.replay) {
            svg << Rect(x, top, cellW, cellH * TankCount, "fill=\"#8a8a8a\" stroke=\"#fff\"", trial + ": no log replayed");
        } else {
            for (int tank = 0; tank < TankCount; ++tank) {
                const auto& missed = review.replay->trial.missed.PerTank[static_cast<std::size_t>(tank)];
                const double y = top + cellH * tank;
                const std::string where = trial + ", tank " + std::to_string(tank) + ": ";
                if (!missed) {
                    svg << Rect(x, y, cellW, cellH, "fill=\"#fff\" stroke=\"#e6e6e6\"", where + "deadline not judged");
                    continue;
                }
                const std::string fill = *missed > 0 ? Heat(static_cast<double>(*missed) / most) : "#f1f3f1";
                svg << Rect(x, y, cellW, cellH, "fill=\"" + fill + "\" stroke=\"#fff\"",
                            where + std::to_string(*missed) + " missed");
                if (*missed > 0 && cellW >= 22) {
                    svg << Text(x + cellW / 2, y + 8.5, std::to_string(*missed),
                                std::string("text-anchor=\"middle\" class=\"tiny\" fill=\"") +
                                    (*missed * 2 > most ? "#fff" : "#333") + "\"");
                }
            }
        }
        const bool label = columns.size() <= 24 || c % ((columns.size() + 23) / 24) == 0;
        if (label)
            svg << Text(x + cellW / 2, top + cellH * TankCount + 13, std::to_string(*review.row.Experiment),
                        "text-anchor=\"middle\" class=\"small\"");
    }
    svg << Text(14, top + cellH * TankCount / 2, "tank",
                "text-anchor=\"middle\" class=\"axis-name\" transform=\"rotate(-90 14 " +
                    N1(top + cellH * TankCount / 2) + ")\"")
        << Text(left + cellW * static_cast<double>(columns.size()) / 2, top + cellH * TankCount + 28, "trial",
                "text-anchor=\"middle\" class=\"axis-name\"");
    const double legendX = left + std::max(cellW * static_cast<double>(columns.size()), 200.0) + 24;
    svg << Rect(legendX, top + 4, 16, 11, "fill=\"" + Heat(1) + "\"")
        << Text(legendX + 22, top + 13, "most missed in one tank: " + std::to_string(most))
        << Rect(legendX, top + 22, 16, 11, "fill=\"" + Heat(0) + "\"") << Text(legendX + 22, top + 31, "1 missed")
        << Rect(legendX, top + 40, 16, 11, "fill=\"#f1f3f1\"") << Text(legendX + 22, top + 49, "none missed")
        << Rect(legendX, top + 58, 16, 11, "fill=\"#fff\" stroke=\"#ccc\"") << Text(legendX + 22, top + 67, "deadline not judged")
        << Rect(legendX, top + 76, 16, 11, "fill=\"#8a8a8a\"") << Text(legendX + 22, top + 85, "no log replayed");
    svg << "</svg>";
    return svg.str();
}

QJsonValue Figure(const std::optional<double>& value) { return value ? QJsonValue(*value) : QJsonValue(); }

QJsonObject ParticipantJson(const ParticipantReview& person, const std::vector<StudyFlag>& flags)
{
    QJsonArray trials;
    for (const RowReview* review : person.ByTrial()) {
        const ExperimentRow& row = review->row;
        QJsonObject trial;
        trial["rowid"] = static_cast<double>(row.rowid);
        trial["trial"] = row.Experiment ? QJsonValue(static_cast<double>(*row.Experiment)) : QJsonValue();
        trial["missedBuckets"] = Figure(row.MissedBuckets);
        trial["busy"] = Figure(row.BusyTime);
        trial["cleaning"] = Figure(row.SweepTime);
        trial["idle"] = Figure(row.IdleTime);
        trial["verdict"] = VerdictWord(review->verdict);
        trial["log"] = review->source ? LogSourceWord(*review->source) : "none";
        QJsonArray perTank;
        if (review->replay) {
            trial["replayedMissed"] = static_cast<double>(review->replay->trial.missed.Total);
            for (const auto& missed : review->replay->trial.missed.PerTank)
                perTank.append(missed ? QJsonValue(*missed) : QJsonValue());
        }
        trial["missedPerTank"] = perTank;
        trials.append(trial);
    }
    QJsonArray flagList;
    for (const StudyFlag& flag : flags) {
        QJsonObject entry;
        entry["kind"] = FlagWord(flag.kind);
        entry["trial"] = flag.trial ? QJsonValue(static_cast<double>(*flag.trial)) : QJsonValue();
        QJsonArray rowids;
        for (long long rowid : flag.rowids) rowids.append(static_cast<double>(rowid));
        entry["rowids"] = rowids;
        entry["detail"] = QString::fromStdString(flag.detail);
        flagList.append(entry);
    }
    QJsonObject object;
    object["userId"] = QString::fromStdString(person.userId);
    object["trials"] = trials;
    object["flags"] = flagList;
    return object;
}

// JSON inside a script element: a "<" only ever stands in a string, where
// \u003c is the same character and can never close the element.
std::string ScriptSafe(const QByteArray& json)
{
    std::string out;
    for (char c : json) {
        if (c == '<')
            out += "\\u003c";
        else
            out += c;
    }
    return out;
}

constexpr const char* Style = R"(
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #1e1e1e; margin: 24px auto; max-width: 900px; padding: 0 12px; }
h1 { font-size: 24px; margin: 0 0 6px; }
h2 { font-size: 18px; margin: 0 0 4px; }
h3 { font-size: 13px; margin: 10px 0 2px; color: #444; font-weight: bold; }
p { font-size: 13px; margin: 4px 0; }
p.note { color: #555; font-size: 12px; }
table { border-collapse: collapse; font-size: 12px; margin: 6px 0; }
th, td { border: 1px solid #c8c8c8; padding: 2px 7px; text-align: left; vertical-align: top; }
th { background: #f1f1f1; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
tr.flag-disagrees td.kind, tr.flag-no-log td.kind, tr.flag-shared-trial-number td.kind,
tr.flag-no-trial-number td.kind, tr.flag-log-without-a-row td.kind { color: #b0261c; font-weight: bold; }
tr.flag-no-result td.kind { color: #8a5a00; font-weight: bold; }
.ok { color: #2c6e2c; }
section.participant { border-top: 2px solid #44506a; padding-top: 10px; margin-top: 26px;
  break-inside: avoid; page-break-inside: avoid; }
section.participant .summary { color: #444; }
svg { display: block; max-width: 100%; height: auto; font-family: "DejaVu Sans", Arial, sans-serif; font-size: 11px; }
svg .axis-name { font-size: 11px; fill: #444; }
svg .small { font-size: 9px; fill: #444; }
svg .tiny { font-size: 8px; }
@page { size: A4; margin: 12mm; }
@media print {
  body { margin: 0; max-width: none; padding: 0; }
  section.participant { margin-top: 14px; }
  a { color: inherit; text-decoration: none; }
}
)";

std::string FlagClass(FlagKind kind)
{
    std::string word = FlagWord(kind);
    std::replace(word.begin(), word.end(), ' ', '-');
    return "flag-" + word;
}

std::string FlagTable(const std::vector<StudyFlag>& flags)
{
    if (flags.empty()) return "<p class=\"ok\">No flags: every row holds a result that its log agrees with.</p>\n";
    std::ostringstream html;
    html << "<table class=\"flags\"><tr><th>flag</th><th class=\"n\">trial</th><th>rows</th><th>what</th></tr>\n";
    for (const StudyFlag& flag : flags) {
        std::string rowids;
        for (long long rowid : flag.rowids) rowids += (rowids.empty() ? "" : ", ") + std::to_string(rowid);
        html << "<tr class=\"" << FlagClass(flag.kind) << "\"><td class=\"kind\">" << FlagWord(flag.kind)
             << "</td><td class=\"n\">" << (flag.trial ? std::to_string(*flag.trial) : "") << "</td><td>" << rowids
             << "</td><td>" << HtmlEscaped(flag.detail) << "</td></tr>\n";
    }
    html << "</table>\n";
    return html.str();
}

std::size_t CountOf(const std::vector<StudyFlag>& flags, FlagKind kind)
{
    return static_cast<std::size_t>(std::count_if(flags.begin(), flags.end(), [kind](const StudyFlag& f) { return f.kind == kind; }));
}

}  // namespace

std::string StudyReportHtml(const StudyReview& study, const ReportBaseline& baseline, const std::string& database)
{
    std::vector<std::vector<StudyFlag>> flagsOf;
    for (const ParticipantReview& person : study.participants) flagsOf.push_back(FlagsOf(person));

    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         << "<title>Study report: " << Shown(database) << "</title>\n<style>" << Style << "</style>\n</head>\n<body>\n";
    html << "<h1>Study report</h1>\n<p>Database: " << Shown(database, 400) << "</p>\n";
    html << "<table class=\"size\"><tr><th>participants</th><th>trials</th><th>complete</th><th>incomplete</th></tr>"
         << "<tr><td class=\"n\" id=\"size-participants\">" << study.participants.size() << "</td><td class=\"n\">"
         << study.trials << "</td><td class=\"n\">" << study.complete << "</td><td class=\"n\">" << study.incomplete
         << "</td></tr></table>\n";
    html << "<p class=\"note\">A trial is a row of table Experiments; it is complete when the row holds its result. "
            "The learning curves show the missed buckets stored in each row, by trial number, in front of what "
            "a participant who clicks at random scores: the Random method's median and middle half (first to third "
            "quartile) over "
         << baseline.trials << " trials of this study's scenario, seed " << baseline.seed << " (as kestuctl baseline "
         << "--trials " << baseline.trials << " --seed " << baseline.seed << " prints them): median "
         << PlainNumber(baseline.missed.median) << ", quartiles " << PlainNumber(baseline.missed.q1) << " and "
         << PlainNumber(baseline.missed.q3)
         << ". Pump shares are the row's BusyTime, SweepTime (cleaning) and IdleTime. The tank map replays each "
            "trial's log and shows, per tank, the buckets it still owed when its deadline was judged. The flags are "
            "those kestuctl rescore gives, and every row without a result.</p>\n";

    html << "<table class=\"index\"><tr><th>User ID</th><th class=\"n\">trials</th><th class=\"n\">complete</th>"
            "<th class=\"n\">incomplete</th><th class=\"n\">disagree</th><th class=\"n\">flags</th></tr>\n";
    for (std::size_t i = 0; i < study.participants.size(); ++i) {
        const ParticipantReview& person = study.participants[i];
        std::size_t complete = 0;
        for (const RowReview& review : person.rows) complete += !HoldsNoResult(review.row);
        html << "<tr><td><a href=\"#participant-" << i + 1 << "\">" << Shown(person.userId, 80) << "</a></td><td class=\"n\">"
             << person.rows.size() << "</td><td class=\"n\">" << complete << "</td><td class=\"n\">"
             << person.rows.size() - complete << "</td><td class=\"n\">" << CountOf(flagsOf[i], FlagKind::Disagrees)
             << "</td><td class=\"n\">" << flagsOf[i].size() << "</td></tr>\n";
    }
    html << "</table>\n";

    for (std::size_t i = 0; i < study.participants.size(); ++i) {
        const ParticipantReview& person = study.participants[i];
        const auto rows = person.ByTrial();
        std::size_t complete = 0;
        for (const RowReview& review : person.rows) complete += !HoldsNoResult(review.row);
        html << "<section class=\"participant\" id=\"participant-" << i + 1 << "\">\n<h2>" << Shown(person.userId, 80)
             << "</h2>\n<p class=\"summary\">" << person.rows.size() << (person.rows.size() == 1 ? " trial" : " trials")
             << ": " << complete << " complete, " << person.rows.size() - complete << " incomplete; "
             << flagsOf[i].size() << (flagsOf[i].size() == 1 ? " flag" : " flags") << ".</p>\n";
        if (person.rows.empty()) {
            html << "<p>No trials.</p>\n</section>\n";
            continue;
        }
        html << "<h3>Missed buckets by trial</h3>\n" << LearningCurve(person, rows, baseline) << "\n"
             << "<h3>Pump shares by trial</h3>\n" << PumpShares(person, rows) << "\n"
             << "<h3>Buckets missed per tank (from each trial's log)</h3>\n" << TankMap(person, rows) << "\n"
             << "<h3>Flags</h3>\n" << FlagTable(flagsOf[i]) << "</section>\n";
    }

    QJsonObject figures;
    QJsonObject size;
    size["participants"] = static_cast<double>(study.participants.size());
    size["trials"] = static_cast<double>(study.trials);
    size["complete"] = static_cast<double>(study.complete);
    size["incomplete"] = static_cast<double>(study.incomplete);
    figures["study"] = size;
    QJsonObject base;
    base["trials"] = static_cast<double>(baseline.trials);
    base["seed"] = QString::fromStdString(std::to_string(baseline.seed));
    base["q1"] = baseline.missed.q1;
    base["median"] = baseline.missed.median;
    base["q3"] = baseline.missed.q3;
    figures["baseline"] = base;
    QJsonArray people;
    for (std::size_t i = 0; i < study.participants.size(); ++i) people.append(ParticipantJson(study.participants[i], flagsOf[i]));
    figures["participants"] = people;
    html << "<script type=\"application/json\" id=\"figures\">"
         << ScriptSafe(QJsonDocument(figures).toJson(QJsonDocument::Compact)) << "</script>\n</body>\n</html>\n";
    return html.str();
}

}  // namespace kestu::analysis
