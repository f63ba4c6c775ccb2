#pragma once

#include <string>

#include "engine/result.h"
#include "scenario/scenario_tables.h"

namespace kestu::ctl {

// The scenario of the database file as the program reads it, checked cell by cell.
Result<ScenarioTables> LoadScenario(const std::string& dbPath);

}  // namespace kestu::ctl
