#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scenario/scenario_tables.h"
#include "trials/trial_event.h"

namespace kestu::conformance {

// One participant action of a reference trial: a click on a switch button or a
// press of the feedforward button, at a point of a tick.
struct ScriptEvent {
    int tick = 0;           // 1 is the first tick after the start
    std::string at;         // "before", "yield1", "yield2" or "yield3"
    std::string action;     // "click" or "ff"
    int switchNum = 0;
};

// What running a reference trial produces.
struct CaseOutput {
    std::string trialLog;                  // U.1
    std::optional<std::string> snapshot;   // U.DAT, when the button was pressed
    std::string resultsJson;
    std::string replayResultsJson;
};

// Reads a case folder's scenario and script; an error text on failure.
std::string LoadCase(const std::string& caseDir, ScenarioTables& tables, std::vector<ScriptEvent>& script);

// Runs the trial through the core as the window would (load, setup, start,
// the script's events at their points, ticks to the end), then replays its
// log headless. Work files go to workDir.
// Observers, when given, see the trial's and the replay's events.
CaseOutput RunCase(const ScenarioTables& tables, const std::vector<ScriptEvent>& script, const std::string& workDir,
                   TrialObserver* trialObserver = nullptr, TrialObserver* replayObserver = nullptr);

}  // namespace kestu::conformance
