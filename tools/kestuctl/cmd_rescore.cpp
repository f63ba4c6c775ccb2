#include <QDir>
#include <QFileInfo>

#include <iomanip>
#include <sstream>

#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/plain_number.h"
#include "kestuctl/progress_bar.h"
#include "kestuctl/replay_run.h"
#include "kestuctl/rescore_check.h"
#include "trials/trial_log.h"

namespace kestu::ctl {

namespace {

// Rescores one row; prints its lines and returns whether it agrees.
bool RescoreRow(const ExperimentRow& row, const ScenarioTables& tables, const QDir& logFolder,
                const std::string& userId, std::ostream& out)
{
    if (!row.Experiment) {
        out << "row " << row.rowid << ": MISMATCH: the row has no trial number in column \"Experiment\"\n";
        return false;
    }
    const int trial = static_cast<int>(*row.Experiment);
    const std::string logPath =
        logFolder.filePath(QString::fromStdString(TrialLogFileName(userId, trial))).toStdString();
    const ReplayOutcome replay = ReplayInScratch(tables, logPath);
    if (!replay.error.empty()) {
        out << "trial " << trial << ": MISMATCH: the log cannot be replayed: " << replay.error << "\n";
        return false;
    }
    const std::vector<FieldCheck> checks = CompareWithReplay(row, replay);
    bool agrees = true;
    for (const FieldCheck& check : checks) agrees = agrees && check.agrees;
    out << "trial " << trial << " (" << logPath << "): " << (agrees ? "agrees" : "DISAGREES") << "\n";
    out << "    " << std::left << std::setw(15) << "field" << std::setw(24) << "stored" << std::setw(24)
        << "replayed" << "check\n";
    for (const FieldCheck& check : checks) {
        out << "    " << std::setw(15) << check.field << std::setw(24) << check.stored << std::setw(24)
            << check.replayed << (check.agrees ? "ok" : "MISMATCH") << "\n";
    }
    return agrees;
}

int RunRescore(const ParsedArgs& args, Console& console)
{
    const std::string dbPath = args.Positional(0);
    const std::string userId = args.Positional(1);
    std::optional<long long> onlyTrial;
    if (args.positionals.size() > 2) {
        if (args.Has("--all")) return UsageError(args, console, "give either TRIAL or --all, not both");
        onlyTrial = ParseWhole(args.positionals[2], 1, 1000000000);
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

    // Trial logs live beside the database.
    const QDir logFolder = QFileInfo(QString::fromStdString(dbPath)).absoluteDir();
    ProgressBar progress(console, "rescoring", static_cast<long long>(rows.size()));
    std::ostringstream report;
    int disagreeing = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!RescoreRow(rows[i], tables.value(), logFolder, userId, report)) ++disagreeing;
        progress.Update(static_cast<long long>(i + 1));
    }
    progress.Finish();
    console.out << report.str() << rows.size() << (rows.size() == 1 ? " trial: " : " trials: ")
                << rows.size() - disagreeing << " agree, " << disagreeing << " disagree\n";
    return disagreeing == 0 ? ExitOk : ExitFailure;
}

}  // namespace

const Command RescoreCommand{
    "rescore",
    "rescore DB USERID [TRIAL|--all]",
    "Check a participant's results by replaying their logs.",
    "For each of the participant's rows in table Experiments (only trial TRIAL's\n"
    "when given; every one with --all or without TRIAL), the log USERID.TRIAL\n"
    "beside DB is replayed headless and MissedBuckets, BusyTime, SweepTime and\n"
    "IdleTime are compared with the row (missed buckets exactly, shares within\n"
    "1e-9). Each field is marked ok or MISMATCH. A row of a trial whose window was\n"
    "closed before the end holds no result; its log, ending with STOP, agrees.\n"
    "Exit status 1 when any trial disagrees or its log cannot be replayed.\n\n"
    "Example:\n"
    "  kestuctl rescore KESTU.MDB ab12 --all\n"
    "  kestuctl rescore KESTU.MDB ab12 5\n",
    {{"DB", "USERID", "TRIAL"}, 2, {}, {"--all"}},
    RunRescore,
};

}  // namespace kestu::ctl
