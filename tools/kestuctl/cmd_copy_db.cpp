#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"

namespace kestu::ctl {

namespace {

using NamedTables = std::vector<std::pair<std::string, CellTable>>;

// Tables a study made before they existed lacks: it has no logs to give,
// and no identity, which its copy then lacks too.
bool MayBeMissing(const std::string& name) { return name == "TrialLogs" || name == "StudyInfo"; }

// Every table of a study.
Result<NamedTables> ReadStudy(ExperimentDb& db, const NamedTables* shapes = nullptr)
{
    NamedTables tables;
    for (const char* name : StudyTables) {
        auto cells = db.ReadWholeTable(name);
        if (!cells && shapes && MayBeMissing(name)) {
            CellTable empty;
            for (const auto& [shapeName, shape] : *shapes)
                if (shapeName == name) empty.columns = shape.columns;
            tables.emplace_back(name, std::move(empty));
            continue;
        }
        if (!cells) return cells.fault();
        tables.emplace_back(name, std::move(cells).value());
    }
    return tables;
}

// The first difference between two studies, or nothing.
std::optional<std::string> FirstDifference(const NamedTables& from, const NamedTables& to)
{
    for (std::size_t t = 0; t < from.size(); ++t) {
        const auto& [name, a] = from[t];
        const CellTable& b = to[t].second;
        if (a.columns != b.columns) return "table \"" + name + "\" has other columns";
        if (a.rows.size() != b.rows.size())
            return "table \"" + name + "\" has " + std::to_string(b.rows.size()) + " rows, not " +
                   std::to_string(a.rows.size());
        for (std::size_t r = 0; r < a.rows.size(); ++r)
            if (a.rows[r] != b.rows[r]) return "table \"" + name + "\", row " + std::to_string(r + 1) + " differs";
    }
    return std::nullopt;
}

int RunCopyDb(const ParsedArgs& args, Console& console)
{
    const std::string from = args.Positional(0), to = args.Positional(1);
    auto source = ExperimentDb::Open(from, OpenMode::ReadOnly);
    if (!source) return Failure(args, console, source.error());
    // A new file, or a server database without a study, gets the tables first.
    const Status created = ExperimentDb::Create(to, NewDbContent::SchemaOnly);
    auto target = ExperimentDb::Open(to, OpenMode::ReadWrite);
    if (!target) return Failure(args, console, created ? target.error() : created.error());

    auto shapes = ReadStudy(*target.value());
    if (!shapes) return Failure(args, console, shapes.error());
    if (!shapes.value().front().second.rows.empty())
        return Failure(args, console, to + ": already holds participants; a study is only copied into an empty one");
    auto study = ReadStudy(*source.value(), &shapes.value());
    if (!study) return Failure(args, console, study.error());
    const Status copied = target.value()->ReplaceTables(study.value());
    if (!copied) return Failure(args, console, copied.error());

    auto check = ReadStudy(*target.value());
    if (!check) return Failure(args, console, check.error());
    if (auto difference = FirstDifference(study.value(), check.value()))
        return Failure(args, console, to + ": the copy does not match: " + *difference);
    console.out << to << ": copied from " << from << ":";
    for (const auto& [name, cells] : study.value()) console.out << " " << name << " " << cells.rows.size();
    console.out << " rows; every table compared equal\n";
    return ExitOk;
}

}  // namespace

const Command CopyDbCommand{
    "copy-db",
    "copy-db SRC DST",
    "Copy a whole study from one database to another.",
    "Copies every table of the study in SRC (participants, trials, trial logs and\n"
    "the scenario) into DST, in stored order, in one transaction: an SQLite file\n"
    "to a PostgreSQL server, back, or between two of either. DST is a new file,\n"
    "a server database that holds no study yet (the tables are made), or a study\n"
    "without participants (its scenario is replaced); one that holds participants\n"
    "is refused. The copy is then read back and compared with SRC table by table,\n"
    "cell by cell; any difference is a failure (exit status 1).\n\n"
    "Example:\n"
    "  kestuctl copy-db KESTU.MDB postgresql://kestu@lab-server/study\n",
    {{"SRC", "DST"}, 2, {}, {}},
    RunCopyDb,
};

}  // namespace kestu::ctl
