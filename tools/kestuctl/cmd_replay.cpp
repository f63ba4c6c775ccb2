#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "analysis/logged_trial.h"
#include "analysis/plain_number.h"
#include "analysis/plant_moment.h"
#include "analysis/replay_run.h"
#include "kestuctl/stored_logs.h"
#include "analysis/trial_figures.h"

namespace kestu::ctl {

using namespace analysis;

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

// The log to replay, read once: the file LOGFILE or, when no such file is
// there and its name says whose trial it is, the copy the database keeps.
Result<std::pair<TrialLogText, LogSource>> FindLog(ExperimentDb& db, const std::string& dbPath, const std::string& logPath)
{
    using Found = Result<std::pair<TrialLogText, LogSource>>;
    std::error_code notThere;
    const auto trial = TrialOfName(logPath);
    if (std::filesystem::exists(logPath, notThere) || !trial) {
        auto read = ReadTrialLog(logPath);
        if (!read) return read.fault();
        return std::pair(std::move(read).value(), LogSource::File);
    }
    StoredLogs stored(db, trial->first);
    auto fetched = stored.Fetch(trial->second);
    if (!fetched) {
        return Found::Fail(logPath + ": the trial log does not exist, and table \"TrialLogs\" cannot be read: " +
                           fetched.error());
    }
    if (!fetched.value()) {
        return Found::Fail(logPath + ": the trial log does not exist, nor does table \"TrialLogs\" of " + dbPath +
                           " hold trial " + std::to_string(trial->second) + " of User ID \"" + trial->first + "\"");
    }
    return std::pair(std::move(*fetched.value()), LogSource::Database);
}

// --tick K or --at MM:SS, when either is given; a usage fault for a bad one.
Result<std::optional<MomentWanted>> WantedMoment(const ParsedArgs& args)
{
    using Wanted = Result<std::optional<MomentWanted>>;
    const auto tick = args.Value("--tick"), at = args.Value("--at");
    if (tick && at) return Wanted::Fail("give --tick or --at, not both");
    if (tick) {
        const auto k = ParseWhole(*tick, 0, 100000000);
        if (!k) return Wanted::Fail("--tick is a whole number of ticks from 0, not \"" + *tick + "\"");
        return std::optional<MomentWanted>(*k);
    }
    if (!at) return std::optional<MomentWanted>();
    const auto colon = at->find(':');
    const auto minutes = colon == std::string::npos ? std::nullopt : ParseWhole(at->substr(0, colon), 0, 100000000);
    const auto seconds = colon == std::string::npos ? std::nullopt : ParseWhole(at->substr(colon + 1), 0, 59);
    if (!minutes || !seconds || at->size() - colon != 3)
        return Wanted::Fail("--at is a clock time MM:SS, not \"" + *at + "\"");
    return std::optional<MomentWanted>(ClockTime{static_cast<int>(*minutes), static_cast<int>(*seconds)});
}

int RunReplay(const ParsedArgs& args, Console& console)
{
    const auto wanted = WantedMoment(args);
    if (!wanted) return UsageError(args, console, wanted.error());
    const std::string dbPath = args.Positional(0);
    const std::string logPath = args.Positional(1);
    auto db = OpenDatabase(dbPath, OpenMode::ReadOnly, console);
    if (!db) return Failure(args, console, db.error());
    auto tables = db.value()->ReadScenario();
    if (!tables) return Failure(args, console, tables.error());
    const auto log = FindLog(*db.value(), dbPath, logPath);
    if (!log) return Failure(args, console, log.error());
    if (wanted.value()) {
        const auto moment = ReplayMoment(tables.value(), log.value().first, *wanted.value());
        if (!moment) return Failure(args, console, moment.error());
        console.out << (args.Has("--json") ? MomentJson(logPath, moment.value()) : MomentText(logPath, moment.value()));
        return ExitOk;
    }
    const auto replay = ReplayTrialLog(tables.value(), log.value().first);
    if (!replay) return Failure(args, console, replay.error());
    const TrialFigures figures = FiguresOf(replay.value());
    const std::string word = LogSourceWord(log.value().second);
    console.out << (args.Has("--json") ? FiguresJson(logPath, figures, word) : FiguresText(logPath, figures, word));
    return ExitOk;
}

}  // namespace

const Command ReplayCommand{
    "replay",
    "replay DB LOGFILE [--at MM:SS | --tick K] [--json]",
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
    "one JSON object instead. Nothing is written.\n"
    "With --tick K (counted as log2csv --every-tick counts ticks: 0 just after\n"
    "the setup) or --at MM:SS (the first moment the clock shows it), the plant\n"
    "at that moment is printed instead: the clock and tick, the buckets missed\n"
    "so far, the pumps in use, and each tank's water with its two switches'\n"
    "statuses; with --json one object whose \"water\" lists the 23 tanks.\n\n"
    "Example:\n"
    "  kestuctl replay KESTU.MDB ab12.5\n"
    "  kestuctl replay KESTU.MDB ab12.5 --json > ab12.5.json\n"
    "  kestuctl replay KESTU.MDB ab12.5 --at 03:15\n"
    "  kestuctl replay KESTU.MDB ab12.5 --tick 120 --json\n",
    {{"DB", "LOGFILE"}, 2, {"--at", "--tick"}, {"--json"}},
    RunReplay,
};

}  // namespace kestu::ctl
