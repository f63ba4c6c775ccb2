#include "scenario/results.h"

namespace kestu {

void JudgeDeadlines(const PlantState& plant, MissedTally& tally)
{
    for (int t = 0; t < TankCount; ++t) {
        if (!DeadlineDueNow(plant, t)) continue;
        const TankState& tank = plant.Tanks[t];
        tally.Total += tank.ExpectAmt;  // a negative amount lowers the total
        tally.PerTank[t] = tank.ExpectAmt;
    }
}

std::optional<PumpShares> ComputeShares(std::int64_t elapsedTicks, std::int64_t busyTicks, std::int64_t sweepTicks)
{
    if (elapsedTicks <= 0) return std::nullopt;
    const double capacity = static_cast<double>(elapsedTicks) * PumpCount;
    PumpShares shares;
    shares.BusyTime = static_cast<double>(busyTicks) / capacity;
    shares.SweepTime = static_cast<double>(sweepTicks) / capacity;
    shares.IdleTime = 1 - static_cast<double>(busyTicks + sweepTicks) / capacity;
    return shares;
}

}  // namespace kestu
