#pragma once

#include <optional>
#include <string>
#include <vector>

#include "trials/replay_player.h"
#include "trials/session_state.h"
#include "trials/snapshot_keeper.h"
#include "trials/trial_lifecycle.h"

namespace kestu {

// One simulation window's trials, headless, so the window, the experimenter's
// tool and the tests run the same operations: the shared state, the three
// parts that act on it, and the tick that runs the plant's steps in their
// order. The session wires its own engine; a window lends it a host and a
// display.
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

    // One tick, one simulated second: the water arrives, the pumps cycle, the
    // deadlines are judged, the clock steps on, the replay applies its
    // records, the Random method decides. The order decides the results;
    // the host may run pending events at the three yield points.
    void Tick();
    // Moves a loaded replay to the end of tick `tick` (0: just after its
    // setup), exactly as playing there would have left it: the log is
    // replayed from its start through this session's own ticks, undrawn,
    // and the plant is then drawn whole. A replay that was playing plays on
    // from there; one that ends before `tick` ends there. Returns the tick
    // reached, or nothing when no replay is loaded.
    std::optional<long long> SeekReplay(long long tick);
    // The same to the first moment the plant's clock shows `clock`; nothing
    // when no replay is loaded or it never shows that time.
    std::optional<long long> SeekReplayToClock(ClockTime clock);
    // Everything the loaded replay tells from its setup to its end, and the
    // ticks it lives, played unseen in a session of its own; this one is
    // left as it is.
    struct ReplayStory {
        std::vector<TrialEvent> events;
        long long ticks = 0;
    };
    ReplayStory ReplayToEnd() const;
    // Where the plant is drawn; none draws nothing.
    void ShowOn(Display* display) { engine.SetDisplay(display); }
    // The window's close: the trial's log is settled once.
    void CloseWindow()
    {
        trial.CloseWindow();
        replay.Close();
    }

private:
    template <typename Reached>
    std::optional<long long> SeekReplayUntil(Reached reached);
    void Yield(YieldPoint point)
    {
        if (host.yield) host.yield(point);
    }
};

}  // namespace kestu
