#pragma once

#include <string>

#include "trials/session_state.h"

namespace kestu {

class SnapshotKeeper;

// A trial from the window's load to its close: setup, start and stop, the
// deadline checkpoint that ends it, the participant's clicks, and what the
// database and the trial log record of it.
class TrialLifecycle {
public:
    TrialLifecycle(SessionState& state, SnapshotKeeper& snapshots);

    // Window load: plant reset and the outlet table. False (after a report)
    // when the plant cannot be loaded.
    bool LoadPlant();
    void SetUpTraining();
    // False (after a report) when the trial cannot be set up.
    bool SetUpTrial();
    void StartOrStop();
    void DeadlineCheckPoint();
    void ToggleDetailFeedback();
    void ChangeSpeed(int value);
    // A participant's click on a switch button; ignored while the buttons are disabled.
    void ClickSwitch(int switchNum);
    // The window's close: runs once however often it is called.
    void CloseWindow();

private:
    bool CreateTrialLog();
    void DiscardUnstartedLog();
    // Writes the closing "STOP" (while the trial runs) and syncs the log; false when it failed.
    bool FinishTrialLog();
    void LogWriteFailed(const std::string& reason);
    template <typename T>
    void ReportDbFailure(const Result<T>& outcome);
    void SaveTrialCounter();
    bool RecordResults();
    void StoreTrialLog();

    SessionState& s_;
    SnapshotKeeper& snapshots_;
    bool dbFailureReported_ = false;
    bool logFailureReported_ = false;
    bool trialStarted_ = false;    // the trial's number is claimed and its row added
    bool logStored_ = false;       // the database has this trial's log
    bool closed_ = false;
};

}  // namespace kestu
