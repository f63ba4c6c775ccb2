#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// One Experiment trial of a participant, run as the window runs it (its
// trial number claimed in the store, its log in `folder`, its row completed,
// the counter saved) with the Random method and no window.
struct ParticipantTrial {
    int trialNum = 0;               // the number the trial ran under; 0 when it never started
    bool completed = false;         // it reached its end time and its row has its results
    std::vector<std::string> messages;  // what the window would have shown, in order
    TrialOutcome trial;
};
ParticipantTrial RunParticipantTrial(ParticipantState& participant, ExperimentStore& store, const std::string& folder,
                                     std::uint64_t seed, long long maxTicks = 1000000);

// What replaying a trial log to its end shows.
struct ReplayOutcome {
    std::string error;              // why the log cannot be replayed; empty when it was
    bool endedByStop = false;       // a "STOP" before the end time (the window was closed)
    TrialOutcome trial;
};

// Replays a trial log exactly as the window's replay console does, without a
// window. Snapshot files it re-saves stay in workFolder, which must exist;
// nothing is written anywhere else.
ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const std::string& logPath, const std::string& workFolder);

}  // namespace kestu
