#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/plant_state.h"
#include "scenario/scenario_tables.h"

namespace kestu {

// The tanks whose deadlines the window shows, label 0 to 11.
inline constexpr std::array<int, 12> LabelledTanks = {21, 22, 17, 18, 7, 8, 19, 20, 11, 12, 13, 14};

struct ClockTime {
    int Minutes = 0;
    int Seconds = 0;
    friend auto operator<=>(const ClockTime&, const ClockTime&) = default;
};

// Loads the deadline rows into the tanks (every tank starts from no deadline;
// a later row for the same tank wins) and returns the trial's end time: the
// latest deadline, or the earliest in Training mode.
ClockTime LoadDeadlines(PlantState& plant, const std::vector<DeadlineRow>& rows, bool trainingMode);

// Minutes and seconds as the clock shows them: "07:05", "123:09".
std::string FormatClock(int minutes, int seconds);

}  // namespace kestu
