#pragma once

#include <string>

#include "engine/engine.h"
#include "engine/result.h"
#include "scenario/deadlines.h"
#include "scenario/scenario_tables.h"

namespace kestu {

// The first fault of the tables against the scenario rules (scenario_rules.h)
// as the database read words it, without the file; an empty string when the
// trial can be set up from them.
Status CheckScenario(const ScenarioTables& tables);

// Brings the plant to the start of a trial: counters zero, the tanks filled
// from the first arrival row, the clock at that row's time, the deadlines
// loaded, every switch OFF with no pump and the arrivals waiting at the second
// row.
// Returns the trial's end time.
ClockTime ResetPlantForTrial(Engine& engine, const ScenarioTables& tables, bool trainingMode);

}  // namespace kestu
