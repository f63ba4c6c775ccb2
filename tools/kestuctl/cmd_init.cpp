#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"

namespace kestu::ctl {

namespace {

int RunInit(const ParsedArgs& args, Console& console)
{
    const std::string path = args.Positional(0, "KESTU.MDB");
    const Status created = ExperimentDb::Create(path, NewDbContent::StandardScenario);
    if (!created) return Failure(args, console, created.error());
    console.out << path << ": created with the standard scenario\n";
    return ExitOk;
}

}  // namespace

const Command InitCommand{
    "init",
    "init [DB]",
    "Create a new database with the standard scenario.",
    "Creates DB with every table (no participants, no results) and the standard\n"
    "scenario. DB is KESTU.MDB in the current folder when not given. An\n"
    "existing file is never written over: the command fails instead.\n\n"
    "Example:\n"
    "  kestuctl init study2/KESTU.MDB\n",
    {{"DB"}, 0, {}, {}},
    RunInit,
};

}  // namespace kestu::ctl
