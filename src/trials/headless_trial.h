#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scenario/results.h"
#include "scenario/scenario_tables.h"
#include "trials/trial_session.h"

namespace kestu {

// The outcome of a whole trial run without a window.
struct TrialOutcome {
    PlantState plant;
    MissedTally missed;
    std::optional<PumpShares> shares;
    long long ticks = 0;
};

struct HeadlessOptions {
    std::uint64_t seed = 1;
    int decisionMethod = 1;         // the Random method unless told otherwise
    std::string logFolder;          // where the trial log goes; empty: no log
    std::string userId = "batch";
    long long maxTicks = 1000000;   // a scenario whose end never comes stops here
};

// Sets up and runs one Experiment trial of the scenario from start to end.
TrialOutcome RunHeadlessTrial(const ScenarioTables& tables, const HeadlessOptions& options);

}  // namespace kestu
