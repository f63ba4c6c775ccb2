#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "engine/clock_time.h"
#include "engine/constants.h"
#include "engine/switch_status.h"

namespace kestu {

struct TankState {
    double Water = 0;
    int OutCount = 0;                              // entries 1..OutCount are in use
    std::array<int, MaxOutlets + 1> OutTo{};       // destination tank; -1 leaves the plant
    std::array<double, MaxOutlets + 1> OutShare{};
    ClockTime Deadline;                            // when ExpectAmt is judged
    int ExpectAmt = 0;                             // buckets still owed; no lower bound
};

// The whole plant as the tick, the clicks and the snapshots see it.
struct PlantState {
    std::array<TankState, TankRecords> Tanks{};

    std::array<SwitchStatus, SwitchCount> Status{};  // what each lamp shows
    std::array<int, SwitchCount> PumpState{};        // 1 pumping, 0 no pump, -n cleaning cycles left
    std::array<int, SwitchCount> PumpHandover{};     // queued switch that takes this pump, -1 none
    std::array<int, SwitchCount> SwitchTick{};       // ticks since the switch's last pump cycle

    int PumpsAllocated = 0;
    int PumpsReleasing = 0;
    int PumpsInUseShown = 0;                          // the figure the pumps label shows
    std::array<int, QueueSlots> CleaningQueue{};      // oldest first, -1 empty

    ClockTime Clock;                                  // the simulated clock
    std::int64_t ElapsedTicks = 0;
    std::int64_t BusyPumpTicks = 0;
    std::int64_t SweepPumpTicks = 0;

    bool TrialLogOn = false;                          // the trial records its clicks in its log
    int DecisionMethod = 0;                           // 0 Interactive, 1 Random

    PlantState()
    {
        PumpHandover.fill(-1);
        CleaningQueue.fill(-1);
    }
};

// The largest water amount (in a tank, an arrival or a file) in buckets.
// Larger values, and values that are not finite, are refused where they
// enter (a scenario row, a snapshot, a log), so every number written reads
// back and every conversion to whole buckets is defined.
inline constexpr double MaxWater = 1e12;
inline bool WaterFits(double water) { return std::isfinite(water) && std::fabs(water) <= MaxWater; }

// The whole buckets a tank shows: its water rounded down. Water is bounded
// where it enters; the clamp keeps the conversion defined whatever happens.
inline long long WholeBuckets(double water)
{
    constexpr double limit = 9.0e18;
    if (!(water > -limit)) return static_cast<long long>(-limit);
    if (!(water < limit)) return static_cast<long long>(limit);
    return static_cast<long long>(std::floor(water));
}

}  // namespace kestu
