#pragma once

#include <optional>
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

    // Window load: plant reset and the outlet table. False (after a fault)
    // when the plant cannot be loaded.
    bool LoadPlant();
    void SetUpTraining();
    // False (after a fault) when the trial cannot be set up.
    bool SetUpTrial();
    // The same trial set up once more, from the tables of its setup, with
    // nothing read or written: a replay going back to its start.
    void SetUpAgain();
    const ScenarioTables& SetUpTables() const { return setUpTables_; }
    void StartOrStop();
    void DeadlineCheckPoint();
    void ToggleDetailFeedback();
    void ChangeSpeed(int value);
    // A participant's click on a switch button; ignored while the buttons are disabled.
    void ClickSwitch(int switchNum);
    // The window's close: runs once however often it is called.
    void CloseWindow();

private:
    Result<ScenarioTables> ScenarioForSetup();
    void ShowSetUp(const ScenarioTables& tables);
    bool CreateTrialLog();
    // A log under the number about to be set up that no claimed trial owns
    // (a copy of the program stopped between its setup and its start) is
    // renamed USERID.N.unclaimed-<UTC time>; true when it was, after a notice.
    bool SetAsideUnclaimedLog(const std::string& path, int trialNum, TrialFault& fault);
    void DiscardUnstartedLog();
    // Writes the closing "STOP" (while the trial runs) and syncs the log; false when it failed.
    bool FinishTrialLog();
    void LogWriteFailed(const std::string& reason);
    void EndTrial();
    void EmitJudged(long long totalBefore) const;
    void EmitEnd(TrialEventKind kind) const;
    template <typename T>
    void ReportDbFailure(const Result<T>& outcome);
    // A failed write of this trial's log or results: where they wait, if the
    // store kept them; the store's own text goes to the detail.
    void ReportStoreFailure(const Status& outcome);
    bool RecordResults(const WallClock& ended);
    void ReportUnrecorded(const Status& logged, const Status& completed, const ExperimentResult& result);
    Status StoreTrialLog(const WallClock& at);

    SessionState& s_;
    SnapshotKeeper& snapshots_;
    std::optional<ScenarioTables> loadedTables_;  // read at the load, for the first setup
    ScenarioTables setUpTables_;                  // the tables of the last setup
    bool dbFailureReported_ = false;
    bool logFailureReported_ = false;
    bool trialStarted_ = false;    // the trial's number is claimed and its row added
    bool logStored_ = false;       // the database has this trial's log
    bool closed_ = false;
};

}  // namespace kestu
