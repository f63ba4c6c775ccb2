#pragma once

#include <string>

namespace kestu {

enum class SimulatorMode { Experiment, Training, Replay };

// Who is logged in, in which mode, with which options: fixed by the login and
// the options dialog, read by the trial operations.
struct ParticipantState {
    std::string UserID;
    int TrialNum = 0;           // Experiment trials done; the next one is TrialNum + 1
    bool ReplayMode = false;
    bool TrainingMode = false;  // also set by "Setup &Training"
    bool FeedforwardOn = false;
    int SimRate = 0;            // the speed last chosen, milliseconds per tick

    SimulatorMode Mode() const
    {
        if (ReplayMode) return SimulatorMode::Replay;
        return TrainingMode ? SimulatorMode::Training : SimulatorMode::Experiment;
    }
    bool ExperimentMode() const { return !ReplayMode && !TrainingMode; }
};

}  // namespace kestu
