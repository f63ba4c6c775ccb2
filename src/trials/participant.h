#pragma once

#include <string>
#include <string_view>

namespace kestu {

// A User ID becomes part of the trial log and snapshot file names, so it is
// held to characters every file system accepts: 1 to 8 ASCII letters,
// digits, "_" or "-".
inline constexpr int MaxUserIdLength = 8;
inline bool IsValidUserId(std::string_view id)
{
    if (id.empty() || id.size() > MaxUserIdLength) return false;
    for (char c : id) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!letter && !(c >= '0' && c <= '9') && c != '_' && c != '-') return false;
    }
    return true;
}

enum class SimulatorMode { Experiment, Training, Replay };

// Who is logged in, in which mode, with which options: fixed by the login and
// the options dialog, read by the trial operations.
struct ParticipantState {
    std::string UserID;
    int TrialNum = 0;           // Experiment trials done; the next one is TrialNum + 1
    bool ReplayMode = false;
    bool TrainingMode = false;  // also set when the window sets up a Training trial
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
