#pragma once

// Plain values read from the experiment database as stored, for tools that
// export or check the tables rather than run trials. No Qt here, so callers
// need not know how the database is reached.

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kestu {

// A cell as SQLite holds it: NULL, a whole number, another number or text
// (binary data comes as its bytes).
using Cell = std::variant<std::monostate, long long, double, std::string>;

// Rows of a table in stored order, with the names of their columns.
struct CellTable {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;
};

// The three scenario tables.
enum class ScenarioTable { Exogenous, Deadline, Sorttable };
inline constexpr ScenarioTable AllScenarioTables[] = {ScenarioTable::Exogenous, ScenarioTable::Deadline,
                                                      ScenarioTable::Sorttable};

// The table's name in the database: "exogenous", "deadline", "sorttable".
constexpr const char* ScenarioTableName(ScenarioTable table)
{
    switch (table) {
    case ScenarioTable::Exogenous:
        return "exogenous";
    case ScenarioTable::Deadline:
        return "deadline";
    case ScenarioTable::Sorttable:
        return "sorttable";
    }
    return "";
}

// Every table of a study, in the order a copy writes them; the study's
// identity goes with it, since a copy is the same study.
inline constexpr const char* StudyTables[] = {"UserData", "Experiments", "TrialLogs",
                                              "exogenous", "deadline", "sorttable", "StudyInfo"};

// The participant and result tables: "UserData" and "Experiments".
enum class ResultTable { Participants, Experiments };

// What rescoring needs of one "Experiments" row. A cell that is empty (or
// holds no number) reads as nothing.
struct ExperimentRow {
    long long rowid = 0;
    std::optional<long long> Experiment;
    std::string EndTime;
    std::optional<double> MissedBuckets, BusyTime, SweepTime, IdleTime;
};

}  // namespace kestu
