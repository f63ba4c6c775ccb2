#pragma once

#include "engine/result.h"
#include "trials/headless_trial.h"

namespace kestu::analysis {

// Replays a trial log already read through the core's replay, which writes
// no file. The fault says why the log cannot be replayed: a bad line is named
// by the log's own name and line.
Result<ReplayOutcome> ReplayTrialLog(const ScenarioTables& tables, const TrialLogText& log,
                                      const ReplayWatch& watch = {});

}  // namespace kestu::analysis
