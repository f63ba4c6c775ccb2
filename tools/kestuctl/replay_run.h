#pragma once

#include <string>

#include "trials/headless_trial.h"

namespace kestu::ctl {

// Replays a trial log through the core's replay, in a temporary work folder
// so that nothing is written beside the program or the log.
ReplayOutcome ReplayInScratch(const ScenarioTables& tables, const std::string& logPath);
ReplayOutcome ReplayInScratch(const ScenarioTables& tables, const std::string& logPath, const ReplayWatch& watch);

}  // namespace kestu::ctl
