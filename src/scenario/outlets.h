#pragma once

#include <string>
#include <vector>

#include "engine/plant_state.h"
#include "engine/result.h"
#include "scenario/scenario_tables.h"

namespace kestu {

// Clears every tank record and loads each tank's outlet entries in stored
// order; a tank whose shares do not sum to exactly 1 (in entry order) gets a
// last entry that sends the remainder out of the plant. Returns the first
// fault against the outlet rules (scenario_rules.h), naming the row, and
// leaves the tanks untouched when the rows break them.
Status LoadOutlets(PlantState& plant, const std::vector<OutletRow>& rows);

}  // namespace kestu
