#pragma once

#include "engine/result.h"
#include "trials/headless_trial.h"

namespace kestu::analysis {

// Replays a trial log already read through the core's replay, in a temporary
// work folder of its own (removed afterwards) so that nothing is written
// beside the program or the log. The fault says why the log cannot be
// replayed: a bad line is named by the log's own name and line. The
// outcome's error is then always empty.
Result<ReplayOutcome> ReplayInScratch(const ScenarioTables& tables, const TrialLogText& log,
                                      const ReplayWatch& watch = {});

}  // namespace kestu::analysis
