#pragma once

#include <string>

#include "trials/replay_player.h"
#include "trials/session_state.h"
#include "trials/snapshot_keeper.h"
#include "trials/trial_lifecycle.h"

namespace kestu {

// One simulation window's trials, headless, so the window, the experimenter's
// tool and the tests run the same operations: the shared state, and the
// three parts that act on it. The session wires its own engine; a window
// lends it a host and a display.
class TrialSession : public SessionState {
public:
    TrialSession(ParticipantState& participant, ExperimentStore& store, std::string programFolder,
                 EngineConstants constants = {})
        : SessionState(participant, store, std::move(programFolder), constants),
          snapshots(*this), trial(*this, snapshots), replay(*this, trial, snapshots)
    {
    }

    SnapshotKeeper snapshots;
    TrialLifecycle trial;
    ReplayPlayer replay;

    // Where the plant is drawn; none draws nothing.
    void ShowOn(Display* display) { engine.SetDisplay(display); }
    // The window's close: the trial's log and counter are settled once.
    void CloseWindow()
    {
        trial.CloseWindow();
        replay.Close();
    }
};

}  // namespace kestu
