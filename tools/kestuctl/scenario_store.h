#pragma once

#include <string>
#include <vector>

#include <QString>

#include "data/db_result.h"
#include "kestuctl/sql_connection.h"
#include "scenario/scenario_tables.h"

namespace kestu::ctl {

// The three scenario tables by their names in the database and in the CSV files.
enum class ScenarioTable { Exogenous, Deadline, Sorttable };
inline constexpr ScenarioTable AllScenarioTables[] = {ScenarioTable::Exogenous, ScenarioTable::Deadline,
                                                      ScenarioTable::Sorttable};

QString TableName(ScenarioTable table);                    // "exogenous"
std::vector<QString> ScenarioColumns(ScenarioTable table);  // "Hr", "Min", "0".."22" for exogenous

// The scenario as the program reads it, checked cell by cell.
DbResult<ScenarioTables> LoadScenario(const std::string& dbPath);

// One scenario table's columns as stored, unchecked, so that even a table the
// program would refuse can be exported, mended and imported again.
DbResult<CellTable> ReadScenarioCells(const std::string& dbPath, ScenarioTable table);

// Empties the three scenario tables and fills them with `tables`, all in one
// transaction: on any failure the database keeps its old scenario.
DbStatus ReplaceScenario(const std::string& dbPath, const ScenarioTables& tables);

}  // namespace kestu::ctl
