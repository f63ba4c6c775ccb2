#include "trials/controls.h"

namespace kestu {

namespace {

bool IsReplayPhase(TrialPhase phase)
{
    return phase == TrialPhase::ReplayLoaded || phase == TrialPhase::ReplayPlaying ||
           phase == TrialPhase::ReplayPaused || phase == TrialPhase::ReplayEnded;
}

// The trial controls of Experiment and Training trials.
void TrialControls(const ControlInputs& in, Controls& c)
{
    const TrialPhase phase = in.Phase;
    const bool training = in.Mode == SimulatorMode::Training;
    const bool underWay = phase == TrialPhase::SetUp || phase == TrialPhase::Running;
    c.SetupVisible = !underWay;
    c.SetupEnabled = phase != TrialPhase::Running;
    c.SimulateVisible = phase != TrialPhase::Running;
    c.SimulateEnabled = underWay;
    c.TrialRunning = phase == TrialPhase::Running;
    // A Training trial hides the feedforward button while it is under way.
    c.FFVisible = in.FeedforwardOffered && !(training && underWay);
    c.FFEnabled = phase == TrialPhase::Running || (phase == TrialPhase::SetUp && !training);
    c.DetailFBVisible = phase == TrialPhase::Ended && !training;
    c.SpeedGroupVisible = false;
    // Before a setup the switches answer (the setup resets the plant); after
    // the end nobody may click.
    if (underWay)
        c.SwitchesEnabled = in.DecisionMethod == 0;
    else
        c.SwitchesEnabled = phase == TrialPhase::Idle;
    c.ReplayConsoleVisible = false;
}

// The replay console; the trial's own controls stay hidden.
void ReplayControls(const ControlInputs& in, Controls& c)
{
    const TrialPhase phase = in.Phase;
    c.SetupVisible = false;
    c.SimulateVisible = false;
    c.FFVisible = false;
    c.SwitchesEnabled = false;
    c.SpeedGroupVisible = true;
    c.ReplayConsoleVisible = true;
    c.PlayVisible = phase != TrialPhase::ReplayPlaying;
    c.PlayEnabled = phase == TrialPhase::ReplayLoaded || phase == TrialPhase::ReplayPaused ||
                    phase == TrialPhase::ReplayPlaying;
    c.PauseVisible = phase == TrialPhase::ReplayPlaying;
    c.PauseEnabled = phase == TrialPhase::ReplayPlaying;
    // Stop loads the trial again; a replay that ended before its first tick
    // has nothing to go back to.
    c.StopEnabled = IsReplayPhase(phase) && (phase != TrialPhase::ReplayEnded || in.ReplayPlayedAny);
    // At its end time a replay offers the per-tank figures, as the trial did.
    c.DetailFBVisible = phase == TrialPhase::ReplayEnded && in.HowEnded == RunEnd::AtEndTime;
}

}  // namespace

Controls ControlsFor(const ControlInputs& in)
{
    Controls c;
    c.ModeShown = in.Mode;
    if (in.Mode == SimulatorMode::Replay)
        ReplayControls(in, c);
    else
        TrialControls(in, c);
    c.TrainingVisible = false;
    c.DecisionConsoleVisible = false;
    c.SnapshotPending = in.SnapshotPending;
    c.MissedFBVisible = in.DetailShown;
    c.TrialNumShown = in.TrialNumShown;
    c.Deadlines = in.Deadlines;
    c.ReplayChoices = in.ReplayChoices;
    return c;
}

}  // namespace kestu
