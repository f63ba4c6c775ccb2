#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "scenario/results.h"
#include "scenario/scenario_tables.h"

namespace kestu::analysis {

// Trial i's seed: a splitmix64 step of baseSeed + i. It depends on nothing
// else, so any number of workers draws the same trials.
std::uint64_t TrialSeed(std::uint64_t baseSeed, std::uint64_t index);

struct BaselineTrial {
    long long missedBuckets = 0;
    std::optional<PumpShares> shares;
};

// Runs `trials` whole Random-method trials of the scenario headless (nothing
// is written anywhere) on `jobs` threads; results in trial order. `progress`,
// when given, is called now and then on the calling thread with the number done.
std::vector<BaselineTrial> RunBaseline(const ScenarioTables& tables, long long trials, std::uint64_t baseSeed,
                                       int jobs, const std::function<void(long long)>& progress = {});

}  // namespace kestu::analysis
