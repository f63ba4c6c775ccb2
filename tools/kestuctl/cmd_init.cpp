#include "data/database_location.h"
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
    if (LooksLikeServerUrl(path)) {
        // Seats that shared one login could end each other's sessions.
        console.out << "Give each seat a login role of its own, a member of kestu_seat: a role shared by\n"
                       "all seats lets any seat end every other seat's sessions. As the server's\n"
                       "administrator, with a password of its own for each seat:\n"
                       "  CREATE ROLE seat01 LOGIN PASSWORD 'password-of-seat01' IN ROLE kestu_seat;\n"
                       "  CREATE ROLE seat02 LOGIN PASSWORD 'password-of-seat02' IN ROLE kestu_seat;\n"
                       "and so on; each seat's kestu.ini then names its own role in the URL.\n"
                       "The lab page (kestuctl serve) needs a login that may only read the study,\n"
                       "a member of kestu_monitor:\n"
                       "  CREATE ROLE watcher LOGIN PASSWORD 'password-of-watcher' IN ROLE kestu_monitor;\n";
    }
    return ExitOk;
}

}  // namespace

const Command InitCommand{
    "init",
    "init [DB]",
    "Create a new database with the standard scenario.",
    "Creates DB with every table (no participants, no results) and the standard\n"
    "scenario. DB is KESTU.MDB in the current folder when not given. An\n"
    "existing file is never written over: the command fails instead. DB may be\n"
    "a postgresql:// URL of an empty database; the command then also prints how\n"
    "to give each seat a login role of its own, and the lab page a login that\n"
    "may only read.\n\n"
    "Example:\n"
    "  kestuctl init study2/KESTU.MDB\n",
    {{"DB"}, 0, {}, {}},
    RunInit,
};

}  // namespace kestu::ctl
