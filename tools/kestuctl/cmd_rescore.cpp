#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <iomanip>
#include <limits>
#include <sstream>
#include <system_error>

#include "data/database_location.h"
#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/plain_number.h"
#include "kestuctl/progress_bar.h"
#include "kestuctl/replay_run.h"
#include "kestuctl/rescore_check.h"
#include "kestuctl/stored_logs.h"
#include "kestuctl/trial_pairing.h"
#include "trials/message_text.h"

namespace kestu::ctl {

namespace {

std::string Shown(const std::string& text) { return ForMessage(text, MessageLimit); }

// Rescores one row; prints its lines and returns whether it agrees.
bool RescoreRow(const ExperimentRow& row, const ScenarioTables& tables, const std::filesystem::path& logFolder,
                const std::string& userId, std::ostream& out)
{
    if (!row.Experiment) {
        out << "row " << row.rowid << ": MISMATCH: the row has no trial number in column \"Experiment\"\n";
        return false;
    }
    const long long trial = *row.Experiment;
    const std::string logPath = (logFolder / TrialLogName(userId, trial)).string();
    const ReplayOutcome replay = ReplayInScratch(tables, logPath);
    if (!replay.error.empty()) {
        out << "trial " << trial << ": MISMATCH: the log cannot be replayed: " << Shown(replay.error) << "\n";
        return false;
    }
    const std::vector<FieldCheck> checks = CompareWithReplay(row, replay);
    bool agrees = true;
    for (const FieldCheck& check : checks) agrees = agrees && check.agrees;
    out << "trial " << trial << " (" << Shown(logPath) << "): " << (agrees ? "agrees" : "DISAGREES") << "\n";
    out << "    " << std::left << std::setw(15) << "field" << std::setw(24) << "stored" << std::setw(24)
        << "replayed" << "check\n";
    for (const FieldCheck& check : checks) {
        out << "    " << std::setw(15) << check.field << std::setw(24) << check.stored << std::setw(24)
            << check.replayed << (check.agrees ? "ok" : "MISMATCH") << "\n";
    }
    return agrees;
}

std::string Counted(std::size_t n, const std::string& one, const std::string& many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Rows that share a trial number, and logs that no row names, cannot be
// checked against each other: each is a disagreement of its own.
std::size_t ReportUnpaired(const std::vector<ExperimentRow>& rows, const std::vector<ExperimentRow>& allRows,
                           bool lookForLogs, const std::filesystem::path& logFolder, const std::string& userId,
                           std::ostream& out, std::string& summary)
{
    const auto shared = SharedTrialNumbers(rows);
    for (const auto& [trial, rowids] : shared) {
        out << "trial " << trial << ": MISMATCH: " << rowids.size() << " rows of User ID \"" << Shown(userId)
            << "\" have this trial number (rowids";
        for (std::size_t i = 0; i < rowids.size(); ++i) out << (i ? ", " : " ") << rowids[i];
        out << ")\n";
    }
    const std::vector<std::string> orphans = lookForLogs ? LogsWithoutRow(logFolder, userId, allRows)
                                                         : std::vector<std::string>{};
    for (const std::string& name : orphans) {
        out << "log " << Shown((logFolder / name).string()) << ": MISMATCH: no row of User ID \"" << Shown(userId)
            << "\" has trial number " << Shown(name.substr(userId.size() + 1)) << "\n";
    }
    if (!shared.empty()) summary += "; " + Counted(shared.size(), "trial number on several rows", "trial numbers on several rows");
    if (!orphans.empty()) summary += "; " + Counted(orphans.size(), "log without a row", "logs without a row");
    return shared.size() + orphans.size();
}

int RunRescore(const ParsedArgs& args, Console& console)
{
    const std::string dbPath = args.Positional(0);
    const std::string userId = args.Positional(1);
    // User IDs are stored as UTF-8 text; other bytes would be looked up changed.
    if (QString::fromStdString(userId).toStdString() != userId) {
        return UsageError(args, console, "USERID \"" + userId + "\" is not valid UTF-8, as User IDs in the database are");
    }
    std::optional<long long> onlyTrial;
    if (args.positionals.size() > 2) {
        if (args.Has("--all")) return UsageError(args, console, "give either TRIAL or --all, not both");
        onlyTrial = ParseWhole(args.positionals[2], 1, std::numeric_limits<long long>::max());
        if (!onlyTrial) return UsageError(args, console, "TRIAL is a trial number (1, 2, ...), not \"" +
                                                             args.positionals[2] + "\"");
    }

    auto db = ExperimentDb::Open(dbPath, OpenMode::ReadOnly);
    if (!db) return Failure(args, console, db.error());
    auto tables = db.value()->ReadScenario();
    if (!tables) return Failure(args, console, tables.error());
    auto read = db.value()->ReadExperimentRows(userId);
    if (!read) return Failure(args, console, read.error());
    std::vector<ExperimentRow> rows;
    for (const ExperimentRow& row : read.value()) {
        if (!onlyTrial || row.Experiment == onlyTrial) rows.push_back(row);
    }
    if (rows.empty()) {
        return Failure(args, console, dbPath + ": table \"Experiments\" has no row for User ID \"" + userId + "\"" +
                                          (onlyTrial ? ", trial " + std::to_string(*onlyTrial) : std::string()));
    }

    // Trial logs live beside an SQLite file; a study on a server is re-scored
    // from the copies it keeps, written out to a scratch folder first.
    std::error_code failed;
    std::optional<QTemporaryDir> scratch;
    std::filesystem::path logFolder;
    if (LooksLikeServerUrl(dbPath)) {
        scratch.emplace();
        if (!scratch->isValid()) return Failure(args, console, "cannot make a temporary folder for the logs");
        const auto written = WriteStoredLogs(*db.value(), userId, scratch->path().toStdString());
        if (!written) return Failure(args, console, written.error());
        logFolder = scratch->path().toStdString();
    } else {
        logFolder = std::filesystem::absolute(dbPath, failed).lexically_normal().parent_path();
        if (failed) return Failure(args, console, dbPath + ": its folder cannot be found (" + failed.message() + ")");
    }
    ProgressBar progress(console, "rescoring", static_cast<long long>(rows.size()));
    std::ostringstream report;
    std::size_t disagreeing = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!RescoreRow(rows[i], tables.value(), logFolder, userId, report)) ++disagreeing;
        progress.Update(static_cast<long long>(i + 1));
    }
    progress.Finish();
    std::string summary = std::to_string(rows.size()) + (rows.size() == 1 ? " trial: " : " trials: ") +
                          std::to_string(rows.size() - disagreeing) + " agree, " + std::to_string(disagreeing) +
                          " disagree";
    const std::size_t unpaired = ReportUnpaired(rows, read.value(), !onlyTrial, logFolder, userId, report, summary);
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
    "beside DB (for a study on a server: the copy in its table TrialLogs)\n"
    "is replayed headless and MissedBuckets, BusyTime, SweepTime and\n"
    "IdleTime are compared with the row (missed buckets exactly, shares within\n"
    "1e-9). Each field is marked ok or MISMATCH. A row of a trial whose window was\n"
    "closed before the end holds no result; its log, ending with STOP, agrees.\n"
    "Two rows with the same trial number, and (without TRIAL) a log USERID.N\n"
    "beside DB whose N no row holds, are each reported as a MISMATCH too.\n"
    "Exit status 1 when any trial disagrees, its log cannot be replayed, or a\n"
    "row or log has no partner.\n\n"
    "Example:\n"
    "  kestuctl rescore KESTU.MDB ab12 --all\n"
    "  kestuctl rescore KESTU.MDB ab12 5\n",
    {{"DB", "USERID", "TRIAL"}, 2, {}, {"--all"}},
    RunRescore,
};

}  // namespace kestu::ctl
