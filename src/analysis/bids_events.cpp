#include "analysis/bids_events.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "analysis/cell_text.h"
#include "analysis/logged_trial.h"
#include "analysis/plain_number.h"
#include "analysis/trial_pairing.h"
#include "data/experiment_db.h"
#include "trials/controls.h"
#include "trials/headless_trial.h"
#include "trials/message_text.h"
#include "ui/fault_words.h"

namespace kestu::analysis {

// ---- Participant labels ----------------------------------------------------

namespace {

bool LetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string CleanLabel(std::string_view userId)
{
    std::string label;
    for (char c : userId)
        if (LetterOrDigit(c)) label += c;
    return label.empty() ? "x" : label;
}

std::vector<std::string> BidsLabels(const std::vector<std::string>& userIds)
{
    // The order of choosing: first the IDs that are labels already, then the
    // others, each group by its bytes; equal IDs take the same label.
    std::vector<std::string> order = userIds;
    std::sort(order.begin(), order.end(), [](const std::string& a, const std::string& b) {
        const bool aClean = CleanLabel(a) == a, bClean = CleanLabel(b) == b;
        if (aClean != bClean) return aClean;
        return a < b;
    });
    order.erase(std::unique(order.begin(), order.end()), order.end());

    std::set<std::string> taken;  // lower case
    std::map<std::string, std::string> labelOf;
    for (const std::string& id : order) {
        const std::string base = CleanLabel(id);
        std::string label = base;
        for (long long n = 2; taken.count(Lower(label)) != 0; ++n) label = base + "x" + std::to_string(n);
        taken.insert(Lower(label));
        labelOf[id] = label;
    }
    std::vector<std::string> labels;
    labels.reserve(userIds.size());
    for (const std::string& id : userIds) labels.push_back(labelOf.at(id));
    return labels;
}

// ---- A trial's speed -------------------------------------------------------

std::optional<std::pair<int, int>> MsPerTickRange(double simRate)
{
    // Every speed of the window, read as the window records it.
    std::optional<std::pair<int, int>> range;
    for (int ms = FastestMsPerTick; ms <= SlowestMsPerTick; ++ms) {
        if (static_cast<double>(SpeedMinutes(ms)) != simRate) continue;
        if (!range) range.emplace(ms, ms);
        range->second = ms;
    }
    return range;
}

namespace {

// Seconds since midnight of "hh:mm:ss"; nothing for anything else.
std::optional<long long> SecondsOfDay(const std::string& text)
{
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    const auto hh = ParseWhole(text.substr(0, 2), 0, 23), mm = ParseWhole(text.substr(3, 2), 0, 59),
               ss = ParseWhole(text.substr(6, 2), 0, 59);
    if (!hh || !mm || !ss) return std::nullopt;
    return *hh * 3600 + *mm * 60 + *ss;
}

}  // namespace

std::optional<TrialSpeed> SpeedOfTrial(std::optional<double> simRate, const std::string& startTime,
                                       const std::string& endTime, long long ticks)
{
    if (!simRate) return std::nullopt;
    const auto range = MsPerTickRange(*simRate);
    if (!range) return std::nullopt;
    TrialSpeed speed;
    speed.simRate = *simRate;
    speed.lowest = range->first;
    speed.highest = range->second;
    speed.msPerTick = (range->first + range->second) / 2;
    speed.source = SpeedSource::SimRate;
    const auto start = SecondsOfDay(startTime), end = SecondsOfDay(endTime);
    if (start && end && ticks > 0) {
        long long seconds = *end - *start;
        if (seconds < 0) seconds += 24 * 3600;
        const long long ms = (seconds * 1000 + ticks / 2) / ticks;
        if (ms >= speed.lowest && ms <= speed.highest) {
            speed.msPerTick = static_cast<int>(ms);
            speed.source = SpeedSource::RowTimes;
        }
    }
    return speed;
}

// ---- Events ----------------------------------------------------------------

const char* BidsEventWord(BidsEventType type)
{
    switch (type) {
    case BidsEventType::SetUp: return "setup";
    case BidsEventType::Started: return "start";
    case BidsEventType::Click: return "click";
    case BidsEventType::SnapshotSaved: return "snapshot_saved";
    case BidsEventType::SnapshotRestored: return "snapshot_restored";
    case BidsEventType::Deadline: return "deadline";
    case BidsEventType::Ended: return "end";
    case BidsEventType::Stopped: return "stop";
    case BidsEventType::CutOff: return "cut_off";
    }
    return "";
}

std::optional<BidsEvent> BidsEventOf(const TrialEvent& event)
{
    BidsEvent row;
    row.tick = event.Tick;
    row.clock = event.Clock;
    row.missedTotal = event.MissedTotal;
    switch (event.Kind) {
    case TrialEventKind::SetUp: row.type = BidsEventType::SetUp; break;
    case TrialEventKind::Started: row.type = BidsEventType::Started; break;
    case TrialEventKind::SwitchClicked:
        row.type = BidsEventType::Click;
        row.switchNum = event.Switch;
        row.tank = event.Tank;
        row.status = event.Status;
        break;
    case TrialEventKind::SnapshotSaved: row.type = BidsEventType::SnapshotSaved; break;
    case TrialEventKind::SnapshotRestored:
        row.type = BidsEventType::SnapshotRestored;
        row.restoredTo = event.RestoredTo;
        break;
    case TrialEventKind::DeadlineJudged:
        row.type = BidsEventType::Deadline;
        row.tank = event.Tank;
        row.owed = event.Owed;
        row.missed = event.Missed;
        break;
    case TrialEventKind::Ended: row.type = BidsEventType::Ended; break;
    case TrialEventKind::StoppedEarly:
        // A closed window leaves a STOP; a log that just ends was cut off.
        if (event.How == RunEnd::LogCutOff) {
            row.type = BidsEventType::CutOff;
        } else {
            row.type = BidsEventType::Stopped;
        }
        break;
    default: return std::nullopt;
    }
    return row;
}

namespace {

constexpr TrialEventKinds EventsKept =
    KindBit(TrialEventKind::SetUp) | KindBit(TrialEventKind::Started) | KindBit(TrialEventKind::SwitchClicked) |
    KindBit(TrialEventKind::SnapshotSaved) | KindBit(TrialEventKind::SnapshotRestored) |
    KindBit(TrialEventKind::DeadlineJudged) | KindBit(TrialEventKind::Ended) | KindBit(TrialEventKind::StoppedEarly);

}  // namespace

Result<std::vector<BidsEvent>> BidsEventsOfLog(const ScenarioTables& tables, const TrialLogText& log)
{
    // The log is checked first, so that a bad line is named by the log's
    // own name, line and field.
    TrialLogReader reader;
    if (Status opened = reader.OpenText(log.name, log.text); !opened) return opened.fault();

    std::vector<BidsEvent> events;
    CallbackObserver gather(
        [&](const TrialEvent& event) {
            if (auto row = BidsEventOf(event)) events.push_back(*row);
        },
        EventsKept);
    MemoryStore store(tables);
    ParticipantState participant;
    participant.UserID = "replay";
    participant.ReplayMode = true;
    participant.TrialNum = 1;
    // A replay writes no file: a snapshot it saves is kept in memory.
    TrialSession session(participant, store, std::string());
    session.observers.Add(&gather);
    const ReplayOutcome outcome = RunSessionReplay(session, log, 1);
    session.CloseWindow();
    session.observers.Remove(&gather);
    if (outcome.fault) {
        std::string message = FaultSentence(*outcome.fault);
        std::replace(message.begin(), message.end(), '\n', ' ');
        return Fault{std::move(message), log.name, {}, {}};
    }
    return events;
}

std::string OnsetSeconds(long long tick, int msPerTick)
{
    const long long ms = tick * msPerTick;
    std::string fraction = std::to_string(ms % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return std::to_string(ms / 1000) + "." + fraction;
}

// ---- The dataset -------------------------------------------------------------

namespace {

// One row of "Experiments" as the dataset needs it.
struct TrialRow {
    std::string userId;
    std::optional<long long> trial;
    std::string startTime, endTime;
    std::optional<double> simRate;
    long long rowid = 0;  // its place in stored order, counted from 1
};

std::optional<std::size_t> ColumnAt(const CellTable& table, const std::string& name)
{
    const auto at = std::find(table.columns.begin(), table.columns.end(), name);
    if (at == table.columns.end()) return std::nullopt;
    return static_cast<std::size_t>(at - table.columns.begin());
}

std::string TextAt(const std::vector<Cell>& row, std::optional<std::size_t> column)
{
    return column ? CellText(row.at(*column)) : std::string();
}

std::optional<std::string> AnswerAt(const std::vector<Cell>& row, std::optional<std::size_t> column)
{
    if (!column || std::holds_alternative<std::monostate>(row.at(*column))) return std::nullopt;
    std::string text = CellText(row.at(*column));
    if (text.empty()) return std::nullopt;
    return text;
}

Result<CellTable> ReadTable(ExperimentDb& db, ResultTable which, const char* name)
{
    auto cells = db.ReadResultCells(which);
    if (!cells) return cells.fault();
    if (!ColumnAt(cells.value(), "UserID"))
        return Result<CellTable>::Fail(db.path() + ": table \"" + name + "\" has no column \"UserID\"");
    return cells;
}

std::string TrialWords(const std::string& userId, long long trial)
{
    return "trial " + std::to_string(trial) + " of " + ForMessage(userId);
}

}  // namespace

Result<BidsDataset> ReadBidsDataset(ExperimentDb& db, const std::string& location, const ScenarioTables& tables,
                                    const std::string& task)
{
    auto people = ReadTable(db, ResultTable::Participants, "UserData");
    if (!people) return people.fault();
    auto trials = ReadTable(db, ResultTable::Experiments, "Experiments");
    if (!trials) return trials.fault();
    auto folder = LogFolderOf(location);
    if (!folder) return folder.fault();

    // Participants: "UserData" order, then User IDs found only in "Experiments".
    std::vector<std::string> ids;
    std::map<std::string, BidsAnswers> answers;
    {
        const CellTable& t = people.value();
        const auto id = ColumnAt(t, "UserID"), age = ColumnAt(t, "Age"), sex = ColumnAt(t, "Sex"),
                   year = ColumnAt(t, "SchoolYear"), major = ColumnAt(t, "Major");
        for (const auto& row : t.rows) {
            const std::string userId = TextAt(row, id);
            if (answers.count(userId) != 0) continue;
            answers[userId] = {AnswerAt(row, age), AnswerAt(row, sex), AnswerAt(row, year), AnswerAt(row, major)};
            ids.push_back(userId);
        }
    }
    std::map<std::string, std::vector<TrialRow>> rowsOf;
    {
        const CellTable& t = trials.value();
        const auto id = ColumnAt(t, "UserID"), trial = ColumnAt(t, "Experiment"), start = ColumnAt(t, "StartTime"),
                   end = ColumnAt(t, "EndTime"), rate = ColumnAt(t, "SimRate");
        long long place = 0;
        for (const auto& row : t.rows) {
            TrialRow r;
            r.userId = TextAt(row, id);
            r.trial = ParseWhole(TextAt(row, trial), std::numeric_limits<long long>::min(),
                                 std::numeric_limits<long long>::max());
            r.startTime = TextAt(row, start);
            r.endTime = TextAt(row, end);
            r.simRate = ParsePlainNumber(TextAt(row, rate));
            r.rowid = ++place;
            if (answers.count(r.userId) == 0) {
                answers[r.userId] = {};
                ids.push_back(r.userId);
            }
            rowsOf[r.userId].push_back(std::move(r));
        }
    }

    BidsDataset dataset;
    dataset.task = task;
    const std::vector<std::string> labels = BidsLabels(ids);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::string& userId = ids[i];
        BidsParticipant person{userId, labels[i], answers[userId], {}};
        if (labels[i] != userId) dataset.labelsChanged = true;

        std::vector<TrialRow>& rows = rowsOf[userId];
        std::stable_sort(rows.begin(), rows.end(), [](const TrialRow& a, const TrialRow& b) {
            if (!b.trial) return a.trial.has_value();
            return a.trial && *a.trial < *b.trial;
        });
        std::map<long long, int> holders;
        std::vector<ExperimentRow> pairing;
        for (const TrialRow& row : rows) {
            if (row.trial) ++holders[*row.trial];
            ExperimentRow er;
            er.rowid = row.rowid;
            er.Experiment = row.trial;
            pairing.push_back(er);
        }
        StoredLogs stored(db, userId);
        const TrialLogFinder finder(folder.value(), stored);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const TrialRow& row = rows[r];
            if (!row.trial) {
                dataset.leftOut.push_back({userId, std::nullopt,
                                           "Row " + std::to_string(row.rowid) +
                                               " of table \"Experiments\" has no trial number."});
                continue;
            }
            const long long trial = *row.trial;
            if (holders[trial] > 1) {
                if (r == 0 || rows[r - 1].trial != row.trial)
                    dataset.leftOut.push_back({userId, trial,
                                               std::to_string(holders[trial]) + " rows hold " +
                                                   TrialWords(userId, trial) + ", so its speed is not known."});
                continue;
            }
            if (trial < 0) {
                dataset.leftOut.push_back({userId, trial, "A run's number cannot be below 0."});
                continue;
            }
            auto found = finder.Find(userId, trial);
            if (!found) {
                dataset.leftOut.push_back({userId, trial, "Its log cannot be read: " + ForMessage(found.error()) + "."});
                continue;
            }
            if (!found.value()) {
                dataset.leftOut.push_back({userId, trial, ForMessage(finder.Missing(userId, trial)) + "."});
                continue;
            }
            auto events = BidsEventsOfLog(tables, found.value()->log);
            if (!events) {
                dataset.leftOut.push_back(
                    {userId, trial, "Its log cannot be replayed: " + ForMessage(events.error()) + "."});
                continue;
            }
            // The ticks the trial lived up to its last event: its end, stop or last record.
            const long long ticks = events.value().empty() ? 0 : events.value().back().tick;
            const bool reachedEnd = !events.value().empty() && events.value().back().type == BidsEventType::Ended;
            auto speed = SpeedOfTrial(row.simRate, row.startTime, reachedEnd ? row.endTime : std::string(), ticks);
            if (!speed) {
                const std::string held = row.simRate ? PlainNumber(*row.simRate) : "nothing";
                dataset.leftOut.push_back({userId, trial,
                                           "Its SimRate holds " + held +
                                               ", which is not a speed the program records, so its onsets are not known."});
                continue;
            }
            person.runs.push_back({trial, *speed, std::move(events).value(), found.value()->source});
        }
        auto orphans = finder.WithoutRow(userId, pairing);
        if (!orphans) return orphans.fault();
        for (const std::string& name : orphans.value())
            dataset.leftOut.push_back(
                {userId, std::nullopt, "No row of table \"Experiments\" holds log " + ForMessage(name) + ", so its speed is not known."});
        if (person.runs.empty()) {
            if (rows.empty())
                dataset.leftOut.push_back({userId, std::nullopt, ForMessage(userId) + " has no trials."});
            continue;
        }
        dataset.participants.push_back(std::move(person));
    }
    std::sort(dataset.participants.begin(), dataset.participants.end(),
              [](const BidsParticipant& a, const BidsParticipant& b) { return a.label < b.label; });
    return dataset;
}

}  // namespace kestu::analysis
