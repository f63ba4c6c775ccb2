#include <QString>

#include <filesystem>
#include <iomanip>
#include <limits>
#include <memory>
#include <sstream>
#include <system_error>

#include "data/database_location.h"
#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "analysis/logged_trial.h"
#include "analysis/plain_number.h"
#include "kestuctl/progress_bar.h"
#include "analysis/replay_run.h"
#include "analysis/rescore_check.h"
#include "analysis/study_review.h"
#include "kestuctl/stored_logs.h"
#include "analysis/trial_pairing.h"
#include "trials/message_text.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

std::string Shown(const std::string& text) { return ForMessage(text, MessageLimit); }

// Prints a row's review as rescore reports it, and returns its verdict.
Verdict PrintRowReview(const RowReview& review, std::ostream& out)
{
    const ExperimentRow& row = review.row;
    switch (review.trouble) {
    case LogTrouble::NoTrialNumber:
        out << "row " << row.rowid << ": MISMATCH: the row has no trial number in column \"Experiment\"\n";
        return review.verdict;
    case LogTrouble::NoLog:
    case LogTrouble::Unreadable:
        out << "trial " << *row.Experiment << ": MISMATCH: the log cannot be replayed: " << Shown(review.why) << "\n";
        return review.verdict;
    case LogTrouble::NotReplayed:
    case LogTrouble::None:
        break;
    }
    const long long trial = *row.Experiment;
    const std::string shownLog = review.source == LogSource::File ? Shown(review.logName) : "table TrialLogs";
    if (review.trouble == LogTrouble::NotReplayed) {
        out << "trial " << trial << ": MISMATCH: the log (" << shownLog << ") cannot be replayed: " << Shown(review.why) << "\n";
        return review.verdict;
    }
    const ReplayOutcome& replay = *review.replay;
    out << "trial " << trial << " (" << shownLog << ", " << LogSourceWord(*review.source) << "): ";
    if (review.verdict == Verdict::Incomplete) {
        if (replay.cutOffAt)
            out << "INCOMPLETE: cut off at " << FormatClock(*replay.cutOffAt)
                << " (the log ends there with no STOP, and the row holds no result)\n";
        else
            out << "INCOMPLETE: the log reaches the end at " << FormatClock(replay.trial.plant.Clock)
                << " but the row holds no result (the program ended before storing it; the replayed figures are below)\n";
    } else {
        out << (review.verdict == Verdict::Agrees ? "agrees" : "DISAGREES") << "\n";
    }
    out << "    " << std::left << std::setw(15) << "field" << std::setw(24) << "stored" << std::setw(24)
        << "replayed" << "check\n";
    for (const FieldCheck& check : review.checks) {
        out << "    " << std::setw(15) << check.field << std::setw(24) << check.stored << std::setw(24)
            << check.replayed << (check.agrees ? "ok" : "MISMATCH") << "\n";
    }
    return review.verdict;
}

std::string Counted(std::size_t n, const std::string& one, const std::string& many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Rows that share a trial number, and logs that no row names (`orphans`),
// cannot be checked against each other: each is a disagreement of its own.
std::size_t ReportUnpaired(const std::vector<ExperimentRow>& rows, const std::vector<std::string>& orphans,
                           const std::filesystem::path& logFolder, const std::string& userId, std::ostream& out,
                           std::string& summary)
{
    const auto shared = SharedTrialNumbers(rows);
    for (const auto& [trial, rowids] : shared) {
        out << "trial " << trial << ": MISMATCH: " << rowids.size() << " rows of User ID \"" << Shown(userId)
            << "\" have this trial number (rowids";
        for (std::size_t i = 0; i < rowids.size(); ++i) out << (i ? ", " : " ") << rowids[i];
        out << ")\n";
    }
    for (const std::string& name : orphans) {
        out << "log " << Shown((logFolder / name).string()) << ": MISMATCH: no row of User ID \"" << Shown(userId)
            << "\" has trial number " << Shown(name.substr(userId.size() + 1)) << "\n";
    }
    if (!shared.empty()) summary += "; " + Counted(shared.size(), "trial number on several rows", "trial numbers on several rows");
    if (!orphans.empty()) summary += "; " + Counted(orphans.size(), "log without a row", "logs without a row");
    return shared.size() + orphans.size();
}

// The command line's TRIAL, when given; a fault when it is no trial number
// or comes with --all.
Result<std::optional<long long>> OnlyTrial(const ParsedArgs& args)
{
    using Only = Result<std::optional<long long>>;
    if (args.positionals.size() <= 2) return std::optional<long long>();
    if (args.Has("--all")) return Only::Fail("give either TRIAL or --all, not both");
    const auto trial = ParseWhole(args.positionals[2], 1, std::numeric_limits<long long>::max());
    if (!trial) return Only::Fail("TRIAL is a trial number (1, 2, ...), not \"" + args.positionals[2] + "\"");
    return std::optional<long long>(trial);
}

// What a rescore works on: the scenario, the participant's rows (all, and
// those to rescore) and where its logs are.
struct RescoreInput {
    std::unique_ptr<ExperimentDb> db;
    ScenarioTables tables;
    std::vector<ExperimentRow> allRows, rows;
    std::filesystem::path folder;  // beside an SQLite file; empty for a server
};

Result<RescoreInput> ReadRescoreInput(const ParsedArgs& args, Console& console, std::optional<long long> onlyTrial)
{
    const std::string dbPath = args.Positional(0);
    const std::string userId = args.Positional(1);
    RescoreInput in;
    auto db = OpenDatabase(dbPath, OpenMode::ReadOnly, console);
    if (!db) return db.fault();
    in.db = std::move(db).value();
    auto tables = in.db->ReadScenario();
    if (!tables) return tables.fault();
    in.tables = std::move(tables).value();
    auto read = in.db->ReadExperimentRows(userId);
    if (!read) return read.fault();
    in.allRows = std::move(read).value();
    for (const ExperimentRow& row : in.allRows) {
        if (!onlyTrial || row.Experiment == onlyTrial) in.rows.push_back(row);
    }
    if (in.rows.empty()) {
        return Result<RescoreInput>::Fail(dbPath + ": table \"Experiments\" has no row for User ID \"" + userId + "\"" +
                                          (onlyTrial ? ", trial " + std::to_string(*onlyTrial) : std::string()));
    }
    auto folder = LogFolderOf(dbPath);
    if (!folder) return folder.fault();
    in.folder = std::move(folder).value();
    return in;
}

int RunRescore(const ParsedArgs& args, Console& console)
{
    const std::string userId = args.Positional(1);
    // User IDs are stored as UTF-8 text; other bytes would be looked up changed.
    if (QString::fromStdString(userId).toStdString() != userId) {
        return UsageError(args, console, "USERID \"" + userId + "\" is not valid UTF-8, as User IDs in the database are");
    }
    const auto onlyTrial = OnlyTrial(args);
    if (!onlyTrial) return UsageError(args, console, onlyTrial.error());
    auto input = ReadRescoreInput(args, console, onlyTrial.value());
    if (!input) return Failure(args, console, input.error());
    const RescoreInput& in = input.value();

    // Trial logs live beside an SQLite file, and the database keeps a copy of
    // each: a log missing beside the file, or any log of a study on a server,
    // is read from that copy.
    StoredLogs stored(*in.db, userId);
    const TrialLogFinder finder(in.folder, stored);
    std::vector<std::string> orphans;
    if (!onlyTrial.value()) {
        auto withoutRow = finder.WithoutRow(userId, in.allRows);
        if (!withoutRow) return Failure(args, console, withoutRow.error());
        orphans = std::move(withoutRow).value();
    }
    ProgressBar progress(console, "rescoring", static_cast<long long>(in.rows.size()));
    std::ostringstream report;
    std::size_t disagreeing = 0, incomplete = 0;
    for (std::size_t i = 0; i < in.rows.size(); ++i) {
        const Verdict verdict = PrintRowReview(ReviewRow(in.rows[i], in.tables, finder, userId), report);
        disagreeing += verdict == Verdict::Disagrees;
        incomplete += verdict == Verdict::Incomplete;
        progress.Update(static_cast<long long>(i + 1));
    }
    progress.Finish();
    const std::size_t n = in.rows.size();
    std::string summary = std::to_string(n) + (n == 1 ? " trial: " : " trials: ") +
                          std::to_string(n - disagreeing - incomplete) + " agree, " + std::to_string(disagreeing) +
                          " disagree, " + std::to_string(incomplete) + " incomplete (no result stored)";
    const std::size_t unpaired = ReportUnpaired(in.rows, orphans, in.folder, userId, report, summary);
    console.out << report.str() << summary << "\n";
    return disagreeing == 0 && unpaired == 0 ? ExitOk : ExitFailure;
}

}  // namespace

const Command RescoreCommand{
    "rescore",
    "rescore DB USERID [TRIAL|--all]",
    "Check a participant's results by replaying their logs.",
    "For each of the participant's rows in table Experiments (only trial TRIAL's\n"
    "when given; every one with --all or without TRIAL), the log USERID.TRIAL\n"
    "beside DB or, when it is not there (a study on a server, or one copied\n"
    "into one file elsewhere), its copy in table TrialLogs is replayed headless;\n"
    "each trial's line says which was used (file or database). MissedBuckets,\n"
    "BusyTime, SweepTime and IdleTime are compared with the row (missed buckets\n"
    "exactly, shares within 1e-9), a cell holding text being no figure. Each\n"
    "field is marked ok or MISMATCH. A row of a trial whose window was closed\n"
    "before the end holds no result; its log, ending with STOP, agrees. A trial\n"
    "cut off (its log ends before the end time with no STOP: the program died,\n"
    "or a record could not be written) whose row holds no result is reported\n"
    "as INCOMPLETE with the clock of its last record; with a result it disagrees.\n"
    "A row without a result whose log reaches the end time (the program ended\n"
    "between the trial's end and storing its results) is INCOMPLETE as well,\n"
    "with the replayed figures shown.\n"
    "Two rows with the same trial number, and (without TRIAL) a log USERID.N\n"
    "beside DB whose N no row holds, are each reported as a MISMATCH too.\n"
    "Exit status 1 when any trial disagrees, its log cannot be replayed, or a\n"
    "row or log has no partner; an incomplete trial alone leaves it 0.\n\n"
    "Example:\n"
    "  kestuctl rescore KESTU.MDB ab12 --all\n"
    "  kestuctl rescore KESTU.MDB ab12 5\n",
    {{"DB", "USERID", "TRIAL"}, 2, {}, {"--all"}},
    RunRescore,
};

}  // namespace kestu::ctl
