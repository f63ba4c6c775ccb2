#pragma once

#include <string>

#include "data/db_result.h"
#include "scenario/scenario_tables.h"

namespace kestu::ctl {

// The scenario of the database file as the program reads it, checked cell by cell.
DbResult<ScenarioTables> LoadScenario(const std::string& dbPath);

}  // namespace kestu::ctl
