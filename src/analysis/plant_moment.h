#pragma once

#include <array>
#include <string>
#include <variant>

#include "engine/result.h"
#include "scenario/scenario_tables.h"
#include "trials/headless_trial.h"

namespace kestu::analysis {

// The plant of a replay at one moment: after tick `tick` (0 just after the
// setup), as the replay shows it there.
struct PlantMoment {
    long long tick = 0;
    ClockTime clock;
    long long missedSoFar = 0;
    int pumpsInUse = 0;
    std::array<double, TankCount> water{};
    std::array<SwitchStatus, SwitchCount> switches{};
};

// Which moment: a tick, counted as log2csv --every-tick counts them, or the
// first moment the plant's clock shows a time.
using MomentWanted = std::variant<long long, ClockTime>;

// Replays the log to that moment through the core's seek; a fault when the
// log cannot be replayed or the replay never reaches the moment.
Result<PlantMoment> ReplayMoment(const ScenarioTables& tables, const TrialLogText& log, const MomentWanted& wanted);

std::string MomentText(const std::string& logName, const PlantMoment& moment);
// One JSON object; "water" is the 23 tanks' water as one list of numbers.
std::string MomentJson(const std::string& logName, const PlantMoment& moment);

}  // namespace kestu::analysis
