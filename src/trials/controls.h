#pragma once

#include <array>
#include <optional>
#include <vector>

#include "engine/clock_time.h"
#include "trials/participant.h"  // SimulatorMode

namespace kestu {

// What the simulation window shows of the trial operations, as facts: which
// controls are offered, whether a trial runs, whether a snapshot is held,
// which trial is set up. The window turns them into captions and colours in
// one place of its own and shows exactly this after every operation.
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

// A trial stopped before its end: the participant may only set up again.
inline void ShowCutShort(Controls& c)
{
    c.TrialRunning = false;
    c.SimulateEnabled = false;
    c.SimulateVisible = true;
    c.SetupEnabled = true;
    c.SetupVisible = true;
    c.FFEnabled = false;
}

// The console of a replay that has ended: Play shown but disabled, Pause
// hidden, Stop to load the trial again.
inline void ShowReplayEnded(Controls& c)
{
    c.PauseEnabled = false;
    c.PauseVisible = false;
    c.PlayVisible = true;
    c.PlayEnabled = false;
    c.StopEnabled = true;
}

// How a run came to its end. A replay whose log has no STOP and stops short
// of the end time ends at its last record: the trial was cut off there
// (LogCutOff, the plant's clock being that record's).
enum class RunEnd { NotEnded, AtEndTime, ByStopRecord, CutShort, LogCutOff };

// Whole minutes a 480-tick trial takes at a tick interval of `interval` ms.
inline int SpeedMinutes(int interval)
{
    return static_cast<int>(static_cast<double>(interval) / 3750 * 30);
}

}  // namespace kestu
