#pragma once

#include <string>
#include <vector>

#include "data/db_values.h"
#include "scenario/scenario_tables.h"

namespace kestu::ctl {

// "exogenous.csv", "deadline.csv", "sorttable.csv".
std::string ScenarioCsvName(ScenarioTable table);

// The scenario read from the three CSV files in `dir`, and every problem
// found in them as "<file>:<line>: what". The tables are fit for the
// database only when there are no problems. Notes, in the same form, point
// at arrival rows that never arrive, which the engine allows.
struct ScenarioCsv {
    ScenarioTables tables;
    std::vector<std::string> problems;
    std::vector<std::string> notes;
};
ScenarioCsv ReadScenarioCsv(const std::string& dir);

}  // namespace kestu::ctl
