#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/stored_logs.h"

namespace kestu::ctl {

namespace {

int RunFetchLogs(const ParsedArgs& args, Console& console)
{
    const std::string folder = args.Positional(1);
    auto db = OpenDatabase(args.Positional(0), OpenMode::ReadOnly, console);
    if (!db) return Failure(args, console, db.error());
    const auto written = WriteStoredLogs(*db.value(), args.Value("--user").value_or(""), folder);
    if (!written) return Failure(args, console, written.error());
    console.out << folder << ": " << written.value().written << " logs written, " << written.value().alreadyThere
                << " already there\n";
    return ExitOk;
}

}  // namespace

const Command FetchLogsCommand{
    "fetch-logs",
    "fetch-logs DB DIR [--user USERID]",
    "Write the trial logs kept in the database into a folder.",
    "Every Experiment trial's log is kept in table TrialLogs of DB as well as in\n"
    "its file. This writes them (only USERID's with --user) into the existing\n"
    "folder DIR as USERID.N, byte for byte. A file already there with the same\n"
    "bytes is left alone; one with other bytes is never written over and stops\n"
    "the command with exit status 1.\n\n"
    "Example:\n"
    "  kestuctl fetch-logs postgresql://kestu@lab-server/study logs/\n",
    {{"DB", "DIR"}, 2, {"--user"}, {}},
    RunFetchLogs,
};

}  // namespace kestu::ctl
