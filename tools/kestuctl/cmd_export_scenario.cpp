#include <QDir>

#include "data/experiment_db.h"
#include "kestuctl/cell_text.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/output_file.h"
#include "kestuctl/scenario_csv.h"

namespace kestu::ctl {

namespace {

int RunExportScenario(const ParsedArgs& args, Console& console)
{
    const std::string dbPath = args.Positional(0);
    const QDir dir(QString::fromStdString(args.Positional(1)));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        return Failure(args, console, dir.path().toStdString() + ": the folder cannot be created");
    }
    auto db = ExperimentDb::Open(dbPath, OpenMode::ReadOnly);
    if (!db) return Failure(args, console, db.error());
    // Read all three before writing any, so a failure leaves no mixed set of files.
    std::vector<std::pair<std::string, std::string>> files;
    for (ScenarioTable table : AllScenarioTables) {
        auto cells = db.value()->ReadScenarioCells(table);
        if (!cells) return Failure(args, console, cells.error());
        files.emplace_back(dir.filePath(QString::fromStdString(ScenarioCsvName(table))).toStdString(),
                           CellTableCsv(cells.value()));
    }
    for (const auto& [path, text] : files) {
        const std::string error = WriteOutput(path, text, console);
        if (!error.empty()) return Failure(args, console, error);
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
    "mended in a spreadsheet.\n\n"
    "Example:\n"
    "  kestuctl export-scenario KESTU.MDB scenario/\n",
    {{"DB", "DIR"}, 2, {}, {}},
    RunExportScenario,
};

}  // namespace kestu::ctl
