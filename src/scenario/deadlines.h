#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/plant_state.h"
#include "scenario/scenario_tables.h"

namespace kestu {

// The tanks whose deadlines the window shows, label 0 to 11.
inline constexpr std::array<int, 12> LabelledTanks = {21, 22, 17, 18, 7, 8, 19, 20, 11, 12, 13, 14};

// Loads the deadline rows into the tanks (every tank starts from no deadline;
// a later row for the same tank wins) and returns the trial's end time: the
// latest deadline, or the earliest in Training mode.
ClockTime LoadDeadlines(PlantState& plant, const std::vector<DeadlineRow>& rows, bool trainingMode);

}  // namespace kestu
