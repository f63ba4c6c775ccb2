#pragma once

#include <array>
#include <optional>

#include "engine/plant_state.h"

namespace kestu {

// The missed-bucket score: the total the window shows and each tank's figure
// (empty until the tank's deadline has been judged).
struct MissedTally {
    long long Total = 0;
    std::array<std::optional<int>, TankCount> PerTank{};
};

// A tank's deadline is judged when the clock shows its time.
inline bool DeadlineDueNow(const PlantState& plant, int tank) { return plant.Tanks[tank].Deadline == plant.Clock; }

// Books every tank whose deadline is the plant's current clock time.
void JudgeDeadlines(const PlantState& plant, MissedTally& tally);

// Shares of the pump capacity (five pumps over the elapsed ticks) spent
// pumping, cleaning and idle; empty when no tick counted.
struct PumpShares {
    double BusyTime = 0;
    double SweepTime = 0;
    double IdleTime = 0;
};
std::optional<PumpShares> ComputeShares(std::int64_t elapsedTicks, std::int64_t busyTicks, std::int64_t sweepTicks);

}  // namespace kestu
