#pragma once

#include <array>
#include <optional>
#include <vector>

#include "engine/clock_time.h"
#include "trials/participant.h"  // SimulatorMode

namespace kestu {

// What the simulation window shows of the trial operations, as facts: which
// controls are offered, whether a trial runs, whether a snapshot is held,
// which trial is set up. ControlsFor computes them; the window turns them
// into captions and colours in one place of its own after every operation.
struct Controls {
    bool SetupVisible = true, SetupEnabled = true;
    bool TrainingVisible = false;
    bool DecisionConsoleVisible = false;
    bool SimulateVisible = true, SimulateEnabled = false;
    bool TrialRunning = false;       // the start/stop button stops the trial
    bool FFVisible = true, FFEnabled = false;
    bool SnapshotPending = false;    // the feedforward button restores
    bool DetailFBVisible = false;
    bool MissedFBVisible = false;
    bool SpeedGroupVisible = true;
    bool SwitchesEnabled = true;
    SimulatorMode ModeShown = SimulatorMode::Experiment;
    std::optional<int> TrialNumShown;                    // none in Training ("-")
    std::array<std::optional<ClockTime>, 12> Deadlines;  // none until a trial is set up
    std::vector<int> ReplayChoices;                      // the trials a replay may choose
    // The replay console.
    bool ReplayConsoleVisible = true;
    bool PlayVisible = true, PlayEnabled = true;
    bool PauseVisible = true, PauseEnabled = true;
    bool StopEnabled = true;
};

// Where a trial, or a replay, stands. Nothing ticks outside Running and
// ReplayPlaying.
enum class TrialPhase {
    Idle,           // the plant is loaded; nothing is set up (a replay: no log loaded)
    SetUp,          // a trial is set up and waits for its start
    Running,
    Ended,          // it reached its end time
    CutShort,       // it stopped before its end (a fault), or could not start
    ReplayLoaded,   // a log is loaded and waits to be played
    ReplayPlaying,
    ReplayPaused,
    ReplayEnded,    // at its end time, its STOP or its last record
};

// How a run came to its end. A replay whose log has no STOP and stops short
// of the end time ends at its last record: the trial was cut off there
// (LogCutOff, the plant's clock being that record's).
enum class RunEnd { NotEnded, AtEndTime, ByStopRecord, CutShort, LogCutOff };

// Whole minutes a 480-tick trial takes at a tick interval of `interval` ms.
inline int SpeedMinutes(int interval)
{
    return static_cast<int>(static_cast<double>(interval) / 3750 * 30);
}


// Everything the controls depend on besides the phase.
struct ControlInputs {
    TrialPhase Phase = TrialPhase::Idle;
    SimulatorMode Mode = SimulatorMode::Experiment;
    RunEnd HowEnded = RunEnd::NotEnded;
    bool FeedforwardOffered = false;
    int DecisionMethod = 0;            // 0 Interactive, 1 Random
    bool SnapshotPending = false;
    bool DetailShown = false;          // the participant opened the per-tank figures
    bool ReplayPlayedAny = false;      // the loaded replay has run a tick
    std::optional<int> TrialNumShown;
    std::array<std::optional<ClockTime>, 12> Deadlines;
    std::vector<int> ReplayChoices;
};

// The one rule from which the window's controls follow.
Controls ControlsFor(const ControlInputs& in);

}  // namespace kestu
