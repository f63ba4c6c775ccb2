#include "analysis/study_review.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "analysis/cell_text.h"
#include "analysis/logged_trial.h"
#include "analysis/replay_run.h"
#include "analysis/trial_pairing.h"
#include "data/database_location.h"
#include "data/experiment_db.h"
#include "trials/message_text.h"

namespace kestu::analysis {

const char* LogSourceWord(LogSource source) { return source == LogSource::File ? "file" : "database"; }

StoredLogs::StoredLogs(ExperimentDb& db, std::string userId) : db_(db), userId_(std::move(userId)) {}

Status StoredLogs::Read()
{
    if (logs_) return Ok();
    auto read = db_.ReadTrialLogs(userId_);
    if (!read) return read.fault();
    logs_ = std::move(read).value();
    return Ok();
}

Result<std::optional<TrialLogText>> StoredLogs::Fetch(long long trial)
{
    if (Status read = Read(); !read) return read.fault();
    for (const TrialLogCopy& log : *logs_) {
        if (log.UserID != userId_ || log.Experiment != trial) continue;
        const std::string name = TrialLogName(userId_, trial) + " (the copy in table \"TrialLogs\")";
        return std::optional<TrialLogText>(TrialLogText{ForMessage(name, 200), log.Bytes});
    }
    return std::optional<TrialLogText>();
}

Result<std::vector<long long>> StoredLogs::Trials()
{
    if (Status read = Read(); !read) return read.fault();
    std::vector<long long> trials;
    for (const TrialLogCopy& log : *logs_) {
        if (log.UserID == userId_) trials.push_back(log.Experiment);
    }
    return trials;
}

Result<std::filesystem::path> LogFolderOf(const std::string& location)
{
    if (LooksLikeServerUrl(location)) return std::filesystem::path();
    std::error_code failed;
    std::filesystem::path folder = std::filesystem::absolute(location, failed).lexically_normal().parent_path();
    if (failed) return Result<std::filesystem::path>::Fail(location + ": its folder cannot be found (" + failed.message() + ")");
    return folder;
}

namespace {

std::string BesideName(const std::filesystem::path& folder, const std::string& userId, long long trial)
{
    return folder.empty() ? TrialLogName(userId, trial) : (folder / TrialLogName(userId, trial)).string();
}

}  // namespace

Result<std::optional<FoundLog>> TrialLogFinder::Find(const std::string& userId, long long trial) const
{
    using Found = Result<std::optional<FoundLog>>;
    const std::string beside = BesideName(folder_, userId, trial);
    std::error_code notFile;
    if (!folder_.empty() && std::filesystem::is_regular_file(beside, notFile)) {
        auto read = ReadTrialLog(beside);
        if (!read) return read.fault();
        return std::optional<FoundLog>(FoundLog{std::move(read).value(), LogSource::File});
    }
    auto fetched = stored_.Fetch(trial);
    if (!fetched)
        return Found::Fail("the log is not beside the database and table \"TrialLogs\" cannot be read: " + fetched.error());
    if (!fetched.value()) return std::optional<FoundLog>();
    return std::optional<FoundLog>(FoundLog{std::move(*fetched.value()), LogSource::Database});
}

std::string TrialLogFinder::Missing(const std::string& userId, long long trial) const
{
    const std::string beside = BesideName(folder_, userId, trial);
    return folder_.empty() ? "table \"TrialLogs\" holds no log " + beside
                           : beside + ": the trial log does not exist, nor does table \"TrialLogs\" hold a copy of it";
}

Result<std::vector<std::string>> TrialLogFinder::WithoutRow(const std::string& userId,
                                                            const std::vector<ExperimentRow>& rows) const
{
    if (!folder_.empty()) return LogsWithoutRow(folder_, userId, rows);
    auto trials = stored_.Trials();
    if (!trials) return trials.fault();
    return LogsWithoutRow(trials.value(), userId, rows);
}

const char* VerdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Agrees:
        return "agrees";
    case Verdict::Incomplete:
        return "incomplete";
    case Verdict::Disagrees:
        return "disagrees";
    }
    return "";
}

RowReview ReviewRow(const ExperimentRow& row, const ScenarioTables& tables, const TrialLogFinder& logs,
                    const std::string& userId)
{
    RowReview review;
    review.row = row;
    review.verdict = Verdict::Disagrees;
    if (!row.Experiment) {
        review.trouble = LogTrouble::NoTrialNumber;
        return review;
    }
    const long long trial = *row.Experiment;
    auto found = logs.Find(userId, trial);
    if (!found) {
        review.trouble = LogTrouble::Unreadable;
        review.why = found.error();
        return review;
    }
    if (!found.value()) {
        review.trouble = LogTrouble::NoLog;
        review.why = logs.Missing(userId, trial);
        return review;
    }
    const FoundLog& log = *found.value();
    review.source = log.source;
    review.logName = log.log.name;
    auto replayed = ReplayTrialLog(tables, log.log);
    if (!replayed) {
        review.trouble = LogTrouble::NotReplayed;
        review.why = replayed.error();
        return review;
    }
    review.replay = std::move(replayed).value();
    review.checks = CompareWithReplay(row, *review.replay);
    bool agrees = true;
    for (const FieldCheck& check : review.checks) agrees = agrees && check.agrees;
    review.verdict = IsIncomplete(row, *review.replay) ? Verdict::Incomplete
                     : agrees                           ? Verdict::Agrees
                                                        : Verdict::Disagrees;
    return review;
}

std::vector<const RowReview*> ParticipantReview::ByTrial() const
{
    std::vector<const RowReview*> sorted;
    for (const RowReview& review : rows) sorted.push_back(&review);
    std::stable_sort(sorted.begin(), sorted.end(), [](const RowReview* a, const RowReview* b) {
        if (!b->row.Experiment) return a->row.Experiment.has_value();
        return a->row.Experiment && *a->row.Experiment < *b->row.Experiment;
    });
    return sorted;
}

const char* FlagWord(FlagKind kind)
{
    switch (kind) {
    case FlagKind::NoResult:
        return "no result";
    case FlagKind::NoLog:
        return "no log";
    case FlagKind::Disagrees:
        return "disagrees";
    case FlagKind::NoTrialNumber:
        return "no trial number";
    case FlagKind::SharedNumber:
        return "shared trial number";
    case FlagKind::LogWithoutRow:
        return "log without a row";
    }
    return "";
}

namespace {

// Why a row holds no result, as its replay tells it.
std::string NoResultDetail(const RowReview& review)
{
    if (!review.replay) return "The row holds no result, and its log cannot be replayed.";
    const ReplayOutcome& replay = *review.replay;
    if (replay.endedByStop)
        return "The row holds no result: the window was closed at " + FormatClock(replay.trial.plant.Clock) +
               ", before the end.";
    if (replay.cutOffAt)
        return "The row holds no result: the log ends at " + FormatClock(*replay.cutOffAt) +
               " with no STOP (the trial was cut off).";
    return "The row holds no result, though the log reaches the end at " + FormatClock(replay.trial.plant.Clock) +
           " (the results were never stored).";
}

std::string DisagreementDetail(const RowReview& review)
{
    switch (review.trouble) {
    case LogTrouble::Unreadable:
        return "The log cannot be read: " + ForMessage(review.why) + ".";
    case LogTrouble::NotReplayed:
        return "The log cannot be replayed: " + ForMessage(review.why) + ".";
    case LogTrouble::None:
    case LogTrouble::NoLog:
    case LogTrouble::NoTrialNumber:
        break;
    }
    std::string fields;
    for (const FieldCheck& check : review.checks) {
        if (check.agrees) continue;
        fields += (fields.empty() ? "" : "; ") + check.field + " stored " + check.stored + ", replayed " + check.replayed;
    }
    return "The log disagrees with the row: " + fields + ".";
}

}  // namespace

std::vector<StudyFlag> FlagsOf(const ParticipantReview& person)
{
    std::vector<StudyFlag> flags;
    for (const RowReview* review : person.ByTrial()) {
        const std::vector<long long> rowid{review->row.rowid};
        const auto& trial = review->row.Experiment;
        if (review->trouble == LogTrouble::NoTrialNumber) {
            flags.push_back({FlagKind::NoTrialNumber, trial, rowid,
                             "Row " + std::to_string(review->row.rowid) + " has no trial number in column \"Experiment\"."});
            continue;
        }
        if (HoldsNoResult(review->row)) flags.push_back({FlagKind::NoResult, trial, rowid, NoResultDetail(*review)});
        if (review->trouble == LogTrouble::NoLog) {
            flags.push_back({FlagKind::NoLog, trial, rowid, ForMessage(review->why) + "."});
        } else if (review->verdict == Verdict::Disagrees) {
            flags.push_back({FlagKind::Disagrees, trial, rowid, DisagreementDetail(*review)});
        }
    }
    for (const auto& [trial, rowids] : person.sharedTrialNumbers) {
        flags.push_back({FlagKind::SharedNumber, trial, rowids,
                         std::to_string(rowids.size()) + " rows have trial number " + std::to_string(trial) + "."});
    }
    for (const std::string& name : person.logsWithoutRow) {
        flags.push_back({FlagKind::LogWithoutRow, std::nullopt, {},
                         "No row has the trial number of log " + ForMessage(name) + "."});
    }
    return flags;
}

namespace {

// The User IDs of a table's column "UserID", in stored order, each once;
// those already in `seen` are left out.
Result<std::vector<std::string>> UserIdsOf(ExperimentDb& db, ResultTable table, std::set<std::string>& seen)
{
    auto cells = db.ReadResultCells(table);
    if (!cells) return cells.fault();
    const auto& columns = cells.value().columns;
    const auto column = std::find(columns.begin(), columns.end(), "UserID");
    if (column == columns.end())
        return Result<std::vector<std::string>>::Fail(db.path() + ": table \"" +
                                                      (table == ResultTable::Participants ? "UserData" : "Experiments") +
                                                      "\" has no column \"UserID\"");
    const auto at = static_cast<std::size_t>(column - columns.begin());
    std::vector<std::string> ids;
    for (const auto& row : cells.value().rows) {
        const std::string id = CellText(row.at(at));
        if (seen.insert(id).second) ids.push_back(id);
    }
    return ids;
}

}  // namespace

Result<StudyReview> ReviewStudy(ExperimentDb& db, const std::string& location, const ScenarioTables& tables,
                                const std::function<void(std::size_t, std::size_t)>& progress)
{
    std::set<std::string> seen;
    auto registered = UserIdsOf(db, ResultTable::Participants, seen);
    if (!registered) return registered.fault();
    auto onlyWithRows = UserIdsOf(db, ResultTable::Experiments, seen);
    if (!onlyWithRows) return onlyWithRows.fault();
    std::vector<std::string> ids = std::move(registered).value();
    ids.insert(ids.end(), onlyWithRows.value().begin(), onlyWithRows.value().end());
    auto folder = LogFolderOf(location);
    if (!folder) return folder.fault();

    StudyReview study;
    std::vector<std::vector<ExperimentRow>> rowsOf;
    for (const std::string& id : ids) {
        auto rows = db.ReadExperimentRows(id);
        if (!rows) return rows.fault();
        study.trials += rows.value().size();
        rowsOf.push_back(std::move(rows).value());
    }
    std::size_t done = 0;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ParticipantReview person;
        person.userId = ids[i];
        StoredLogs stored(db, ids[i]);
        const TrialLogFinder finder(folder.value(), stored);
        auto orphans = finder.WithoutRow(ids[i], rowsOf[i]);
        if (!orphans) return orphans.fault();
        person.logsWithoutRow = std::move(orphans).value();
        person.sharedTrialNumbers = SharedTrialNumbers(rowsOf[i]);
        for (const ExperimentRow& row : rowsOf[i]) {
            person.rows.push_back(ReviewRow(row, tables, finder, ids[i]));
            (HoldsNoResult(row) ? study.incomplete : study.complete) += 1;
            if (progress) progress(++done, study.trials);
        }
        study.participants.push_back(std::move(person));
    }
    return study;
}

}  // namespace kestu::analysis
