#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "analysis/logged_trial.h"
#include "analysis/plain_number.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/output_file.h"
#include "markers/marker_text.h"
#include "trials/message_text.h"

namespace kestu::ctl {

namespace {

// Whose trial a log is, from its name "USERID.N".
std::optional<std::pair<std::string, int>> TrialOfLogName(const std::string& logPath)
{
    const std::string name = std::filesystem::path(logPath).filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    const auto trial =
        analysis::ParseWhole(std::string_view(name).substr(dot + 1), 1, std::numeric_limits<int>::max());
    if (!trial) return std::nullopt;
    return std::pair(name.substr(0, dot), static_cast<int>(*trial));
}

int RunMarkers(const ParsedArgs& args, Console& console)
{
    const std::string logPath = args.Positional(0);
    const auto trial = TrialOfLogName(logPath);
    if (!trial)
        return Failure(args, console,
                       "the log's name \"" + ForMessage(logPath) +
                           "\" does not say whose trial it is: it must be USERID.N, as the program names it");
    const auto foundDb = DatabaseForLog(logPath, args.Value("--db"));
    if (!foundDb) return Failure(args, console, NoDatabaseForLog);
    auto tables = LoadScenario(*foundDb, console);
    if (!tables) return Failure(args, console, tables.error());
    const auto log = analysis::ReadTrialLog(logPath);
    if (!log) return Failure(args, console, log.error());
    const auto markers = markers::MarkersOfLog(tables.value(), log.value(), trial->first, trial->second);
    if (!markers) return Failure(args, console, markers.error());
    std::string text;
    for (const std::string& marker : markers.value()) text += marker + "\n";
    const Status written = WriteOutput(args.Value("--out"), text, console);
    return written ? ExitOk : Failure(args, console, written.error());
}

}  // namespace

const Command MarkersCommand{
    "markers",
    "markers LOGFILE [--db DB] [--out FILE]",
    "Print the LSL markers a trial log implies, one per line.",
    "Replays LOGFILE (named USERID.N, as the program names trial logs) through\n"
    "the core and prints the markers the trial sent on its Lab Streaming Layer\n"
    "stream, one JSON object per line, in the order it sent them and with the\n"
    "same text: a recording's marker stream can be checked against the log\n"
    "(the same count, order and content). The README's \"Recording with EEG or\n"
    "eye tracking\" describes each marker. The replay needs the scenario: from\n"
    "DB (a database file or a postgresql:// URL) or, without --db, from\n"
    "KESTU.MDB beside the log. Without --out, or with --out -, the markers go\n"
    "to standard output.\n\n"
    "Example:\n"
    "  kestuctl markers ab12.5\n"
    "  kestuctl markers ab12.5 --db postgresql://kestu@lab-server/study2026 --out ab12.5.markers\n",
    {{"LOGFILE"}, 1, {"--db", "--out"}, {}},
    RunMarkers,
};

}  // namespace kestu::ctl
