#pragma once

#include <array>
#include <string>

namespace kestu {

// The state of the simulation window's controls that the trial operations
// decide. The window shows exactly this after every operation.
struct Controls {
    bool SetupVisible = true, SetupEnabled = true;
    bool TrainingVisible = false;
    bool DecisionConsoleVisible = false;
    bool SimulateVisible = true, SimulateEnabled = false;
    std::string SimulateCaption = "Start Simul&ation";
    bool FFVisible = true, FFEnabled = false;
    std::string FFCaption = "&Feedforward";
    bool DetailFBVisible = false;
    bool MissedFBVisible = false;
    bool SpeedGroupVisible = true;
    bool SwitchesEnabled = true;
    std::string SimulatorMode = "Experiment";
    std::string TrialNumLabel = "-";
    std::array<std::string, 12> DeadlineLabels;
    // The replay console.
    bool ReplayConsoleVisible = true;
    bool PlayVisible = true, PlayEnabled = true;
    bool PauseVisible = true, PauseEnabled = true;
    bool StopEnabled = true;

    bool SnapshotPending() const { return FFCaption != "&Feedforward"; }
};

}  // namespace kestu

namespace kestu {

// Whole minutes a 480-tick trial takes at a tick interval of `interval` ms.
inline int SpeedMinutes(int interval)
{
    return static_cast<int>(static_cast<double>(interval) / 3750 * 30);
}

inline std::string SpeedCaption(int interval)
{
    return std::to_string(SpeedMinutes(interval)) + " Minute Simulation";
}

}  // namespace kestu
