#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/scenario_csv.h"
#include "trials/message_text.h"

namespace kestu::ctl {

namespace {

int RunImportScenario(const ParsedArgs& args, Console& console)
{
    const std::string dbPath = args.Positional(0);
    const std::string dir = args.Positional(1);
    SayDatabase(console, dbPath);
    const ScenarioCsv read = ReadScenarioCsv(dir);
    for (const std::string& note : read.notes) console.err << "note: " << ForMessage(note, MessageLimit) << "\n";
    if (!read.problems.empty()) {
        for (const std::string& problem : read.problems) console.err << ForMessage(problem, MessageLimit) << "\n";
        return Failure(args, console,
                       std::to_string(read.problems.size()) + (read.problems.size() == 1 ? " problem" : " problems") +
                           " found; " + dbPath + " is unchanged");
    }
    auto db = ExperimentDb::Open(dbPath, OpenMode::ReadWrite);
    if (!db) return Failure(args, console, db.error() + "; the scenario is unchanged");
    const Status replaced = db.value()->ReplaceScenario(read.tables);
    if (!replaced) return Failure(args, console, replaced.error() + "; the scenario is unchanged");
    console.out << dbPath << ": scenario replaced: " << read.tables.exogenous.size() << " arrival rows, "
                << read.tables.deadline.size() << " deadline rows, " << read.tables.sorttable.size()
                << " outlet rows\n";
    return ExitOk;
}

}  // namespace

const Command ImportScenarioCommand{
    "import-scenario",
    "import-scenario DB DIR",
    "Replace the scenario tables from three CSV files.",
    "Replaces the tables exogenous, deadline and sorttable of DB with the files\n"
    "exogenous.csv, deadline.csv and sorttable.csv in DIR. Each file has a\n"
    "header row naming its columns, in any order:\n"
    "  exogenous.csv  Hr,Min,0,1,...,22    clock minute and second, then the buckets\n"
    "                                      arriving into each tank; the first row is\n"
    "                                      the plant at the start, times ascend strictly\n"
    "                                      (a row out of order is imported with a note:\n"
    "                                      it and the rows after it never arrive)\n"
    "  deadline.csv   TankNum,Hr,Min,ExpectAmt   tank 0..23, clock minute and second,\n"
    "                                      buckets to pump out of the tank by then\n"
    "  sorttable.csv  head,tail,sorta      share sorta (0..1) of what is pumped out of\n"
    "                                      tank head goes to tank tail (-1: out of the\n"
    "                                      plant); at most 10 rows per tank, shares of a\n"
    "                                      tank adding up to at most 1 (exactly 1 with 10)\n"
    "Seconds are 0..59. All three files are checked first and every problem is\n"
    "listed as FILE:LINE: what; then nothing is changed. Otherwise the three tables\n"
    "are replaced in one transaction. Participants and results are not touched.\n\n"
    "Example:\n"
    "  kestuctl export-scenario KESTU.MDB scenario/   # edit the files, then:\n"
    "  kestuctl import-scenario KESTU.MDB scenario/\n",
    {{"DB", "DIR"}, 2, {}, {}},
    RunImportScenario,
};

}  // namespace kestu::ctl
