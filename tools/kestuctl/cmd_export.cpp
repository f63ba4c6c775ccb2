#include "data/experiment_db.h"
#include "analysis/cell_text.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/output_file.h"

namespace kestu::ctl {

namespace {

int RunExport(const ParsedArgs& args, Console& console)
{
    const std::string which = args.Value("--table").value_or("experiments");
    if (which != "experiments" && which != "participants") {
        return UsageError(args, console, "--table is \"participants\" or \"experiments\", not \"" + which + "\"");
    }
    const ResultTable table = which == "participants" ? ResultTable::Participants : ResultTable::Experiments;
    auto db = OpenDatabase(args.Positional(0), OpenMode::ReadOnly, console);
    if (!db) return Failure(args, console, db.error());
    auto cells = db.value()->ReadResultCells(table);
    if (!cells) return Failure(args, console, cells.error());

    // Dates and times are stored as yyyy-mm-dd and hh:mm:ss already; text is UTF-8.
    const Status written = WriteOutput(args.Value("--out"), analysis::CellTableCsv(cells.value()), console);
    if (!written) return Failure(args, console, written.error());
    return ExitOk;
}

}  // namespace

const Command ExportCommand{
    "export",
    "export DB [--table participants|experiments] [--out FILE]",
    "Write participants or trial results as CSV.",
    "Writes table Experiments (one row per trial) or, with --table participants,\n"
    "table UserData (one row per participant) of DB as CSV ready for R or\n"
    "pandas: one header row with the table's column names, one row per table row\n"
    "in stored order, commas, CR LF line ends, UTF-8, fields with a comma, quote\n"
    "or line break quoted (quotes doubled), dates as yyyy-mm-dd and times as\n"
    "hh:mm:ss, an empty cell where the table has none. --table defaults to\n"
    "experiments; without --out, or with --out -, the CSV goes to standard\n"
    "output.\n\n"
    "Example:\n"
    "  kestuctl export KESTU.MDB --out experiments.csv\n"
    "  kestuctl export KESTU.MDB --table participants --out participants.csv\n",
    {{"DB"}, 1, {"--table", "--out"}, {}},
    RunExport,
};

}  // namespace kestu::ctl
