#include <filesystem>
#include <system_error>

#include "data/experiment_db.h"
#include "analysis/cell_text.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/output_file.h"
#include "kestuctl/scenario_csv.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

int RunExportScenario(const ParsedArgs& args, Console& console)
{
    const std::string dbPath = args.Positional(0);
    const std::filesystem::path dir = args.Positional(1);
    auto db = OpenDatabase(dbPath, OpenMode::ReadOnly, console);
    if (!db) return Failure(args, console, db.error());
    std::error_code failed;
    std::filesystem::create_directories(dir, failed);
    if (failed) {
        return Failure(args, console, dir.string() + ": the folder cannot be created (" + failed.message() + ")");
    }
    // Read all three before writing any, so a table that cannot be read changes no file.
    std::vector<std::pair<std::string, std::string>> files;
    for (ScenarioTable table : AllScenarioTables) {
        auto cells = db.value()->ReadScenarioCells(table);
        if (!cells) return Failure(args, console, cells.error());
        files.emplace_back((dir / ScenarioCsvName(table)).string(), CellTableCsv(cells.value()));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& [path, text] = files[i];
        const Status written = WriteFile(path, text, console);
        if (!written) {
            return Failure(args, console, written.error() + (i == 0 ? "; no file was replaced" : "; the files listed before it were replaced"));
        }
        console.out << path << "\n";
    }
    return ExitOk;
}

}  // namespace

const Command ExportScenarioCommand{
    "export-scenario",
    "export-scenario DB DIR",
    "Write the scenario tables as three CSV files.",
    "Writes the tables exogenous, deadline and sorttable of DB as exogenous.csv,\n"
    "deadline.csv and sorttable.csv into DIR (created when missing; files of\n"
    "the same names are replaced), in the form import-scenario reads.\n"
    "Numbers are written as plain decimals that read back exactly, so the files\n"
    "can be edited and brought back with import-scenario. The cells are written\n"
    "as stored, even ones the program would refuse, so a broken scenario can be\n"
    "mended in a spreadsheet. Each file replaces the old one only once it is\n"
    "completely written; the name of each is printed as it is, and when one\n"
    "cannot be written the command stops there, leaving it and the rest as they were.\n\n"
    "Example:\n"
    "  kestuctl export-scenario KESTU.MDB scenario/\n",
    {{"DB", "DIR"}, 2, {}, {}},
    RunExportScenario,
};

}  // namespace kestu::ctl
