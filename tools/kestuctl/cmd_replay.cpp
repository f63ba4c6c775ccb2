#include <QTemporaryDir>

#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/plain_number.h"
#include "kestuctl/replay_run.h"
#include "kestuctl/stored_logs.h"
#include "kestuctl/trial_figures.h"

namespace kestu::ctl {

namespace {

// The trial a log's file name names: "USERID.N" gives USERID and N.
std::optional<std::pair<std::string, long long>> TrialOfName(const std::string& logPath)
{
    const std::string name = std::filesystem::path(logPath).filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    const auto trial = ParseWhole(std::string_view(name).substr(dot + 1), 1, std::numeric_limits<long long>::max());
    if (!trial) return std::nullopt;
    return std::pair(name.substr(0, dot), *trial);
}

int RunReplay(const ParsedArgs& args, Console& console)
{
    const std::string dbPath = args.Positional(0);
    const std::string logPath = args.Positional(1);
    auto db = OpenDatabase(dbPath, OpenMode::ReadOnly, console);
    if (!db) return Failure(args, console, db.error());
    auto tables = db.value()->ReadScenario();
    if (!tables) return Failure(args, console, tables.error());

    // A log that is not there as a file is read from the copy the database
    // keeps of it, when the file's name says whose trial it is.
    std::string replayed = logPath;
    LogSource source = LogSource::File;
    QTemporaryDir scratch;
    std::error_code notThere;
    const auto trial = TrialOfName(logPath);
    if (!std::filesystem::exists(logPath, notThere) && trial) {
        if (!scratch.isValid()) return Failure(args, console, "cannot make a temporary folder for the log");
        StoredLogs stored(*db.value(), trial->first, scratch.path().toStdString());
        auto fetched = stored.Fetch(trial->second);
        if (!fetched) {
            return Failure(args, console, logPath + ": the trial log does not exist, and table \"TrialLogs\" cannot be read: " +
                                              fetched.error());
        }
        if (!fetched.value()) {
            return Failure(args, console, logPath + ": the trial log does not exist, nor does table \"TrialLogs\" of " +
                                              dbPath + " hold trial " + std::to_string(trial->second) + " of User ID \"" +
                                              trial->first + "\"");
        }
        replayed = *fetched.value();
        source = LogSource::Database;
    }
    ReplayOutcome replay = ReplayInScratch(tables.value(), replayed);
    if (!replay.error.empty()) return Failure(args, console, replay.error);
    const TrialFigures figures = FiguresOf(replay);
    const std::string word = LogSourceWord(source);
    console.out << (args.Has("--json") ? FiguresJson(logPath, figures, word) : FiguresText(logPath, figures, word));
    return ExitOk;
}

}  // namespace

const Command ReplayCommand{
    "replay",
    "replay DB LOGFILE [--json]",
    "Replay a trial log headless and print its score.",
    "LOGFILE is replayed with DB's scenario by the same core as the window's\n"
    "replay: its clicks are re-performed at their logged clock times. When no\n"
    "file LOGFILE exists, the copy DB keeps in table TrialLogs of the trial its\n"
    "name gives (USERID.N) is replayed, and the first line says so. Printed:\n"
    "the clock at the end (and whether a STOP record ended the trial early, or\n"
    "the log was cut off: it ends before the end time with no STOP, and the\n"
    "replay ends at its last record), the\n"
    "missed-bucket total, each judged tank's missed figure, the busy, cleaning\n"
    "and idle pump-ticks and their shares of the pump capacity. --json prints\n"
    "one JSON object instead. Nothing is written: the replay works in a\n"
    "temporary folder.\n\n"
    "Example:\n"
    "  kestuctl replay KESTU.MDB ab12.5\n"
    "  kestuctl replay KESTU.MDB ab12.5 --json > ab12.5.json\n",
    {{"DB", "LOGFILE"}, 2, {}, {"--json"}},
    RunReplay,
};

}  // namespace kestu::ctl
