#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "scenario/deadlines.h"
#include "scenario/results.h"
#include "scenario/scenario_tables.h"
#include "trials/controls.h"
#include "trials/experiment_store.h"
#include "trials/log_reader.h"
#include "trials/participant.h"
#include "trials/file_sink.h"
#include "trials/trial_log.h"

namespace kestu {

struct WallClock {
    std::string Date;  // yyyy-mm-dd
    std::string Time;  // hh:mm:ss
};
WallClock SystemWallClock();

// What the window (or a headless runner) lends the trial operations.
struct SessionHost {
    std::function<void(const std::string& title, const std::string& text)> report;
    std::function<void()> controlsChanged;
    std::function<void()> restartTimer;  // the tick interval starts afresh
    std::function<void(bool running)> timerChanged;  // start or stop the tick source
    std::function<void(YieldPoint)> yield;           // let pending events run inside a tick
    std::function<WallClock()> now = SystemWallClock;
};

// One simulation window's trials: setup, start and stop, the deadline
// checkpoint, snapshots, replay and the window's close. Headless, so the
// window, the experimenter's tool and the tests run the same operations.
class TrialSession {
public:
    TrialSession(ParticipantState& participant, ExperimentStore& store, std::string programFolder,
                 EngineConstants constants = {});
    TrialSession(const TrialSession&) = delete;
    TrialSession& operator=(const TrialSession&) = delete;

    Engine engine;
    Controls controls;
    MissedTally missed;
    ClockTime trialEnd;
    SessionHost host;
    int speedValue = 1937;      // the window's speed scroll bar
    int timerInterval = 1000;   // milliseconds per tick
    int decisionChoice = 0;     // 0 Interactive, 1 Random, as the option buttons show
    std::string snapshotFolder; // the program's folder unless a replay tool moves it
    bool writeTrialLog = true;  // batch runs of the Random method write no log
    std::vector<int> replayList;              // the trials a replay may choose
    RunEnd runEnd = RunEnd::NotEnded;  // how the last trial or replay ended
    std::optional<int> replaySelection;       // the trial chosen for a replay

    PlantState& plant() { return engine.plant; }
    // Where the plant is drawn; none draws nothing.
    void ShowOn(Display* display) { engine.SetDisplay(display); }
    const ParticipantState& participant() const { return participant_; }

    // Window load: plant reset and the outlet table. False (after a report)
    // when the plant cannot be loaded.
    bool LoadPlant();
    void SetUpTraining();
    void SetUpTrial();
    void StartOrStop();
    void DeadlineCheckPoint();
    void SaveOrRestoreSnapshot();
    void ToggleDetailFeedback();
    void ChangeSpeed(int value);
    // A participant's click on a switch button; ignored while the buttons are disabled.
    void ClickSwitch(int switchNum);
    // The window's close: runs once however often it is called.
    void CloseWindow();

    // Replay.
    void LoadReplay();
    // Loads the log at `logPath` as trial `trialNum` of the participant.
    void LoadReplayFrom(const std::string& logPath, int trialNum);
    void ReplayStep();
    void PlayReplay();
    void PauseReplay();
    void RestartReplay();
    bool ReplayLoaded() const { return replayLog_.IsOpen(); }

    bool TrialLogOpen() const { return log_.IsOpen(); }
    // Tests put a failing sink in front of the snapshot file.
    SinkWrapper snapshotSinkWrap;
    // Tests put a failing sink in front of the trial log.
    void WrapTrialLogSink(SinkWrapper wrap) { log_.wrapSink = std::move(wrap); }
    std::string ProgramPath(const std::string& fileName) const;
    std::string SnapshotPath() const;

private:
    bool SetUp();
    bool CreateTrialLog();
    void DiscardUnstartedLog();
    // Writes the closing "STOP" (while the trial runs) and syncs the log; false when it failed.
    bool FinishTrialLog();
    void LogWriteFailed(const std::string& reason);
    void ShowCutShort();
    void ShowReplayEnded();
    void StartTimer();
    void StopTimer();
    void Notify();
    void Report(const std::string& text);
    void ReportDbFailure(const std::string& error);
    void SaveTrialCounter();
    void ApplyRecord(const LogRecord& record);
    void ReplayIdle();
    bool RestoreSnapshot();
    void SaveSnapshot();
    void RedrawPlant();

    ParticipantState& participant_;
    ExperimentStore& store_;
    std::string programFolder_;
    TrialLogWriter log_;
    TrialLogReader replayLog_;
    LogRecord logRec_;
    long long experimentRow_ = 0;  // the row this trial's start added
    bool dbFailureReported_ = false;
    bool logFailureReported_ = false;
    bool trialStarted_ = false;
    std::optional<std::string> savedSnapshot_;  // the text of the snapshot this trial saved  // the trial's number is claimed and its row added
    bool closed_ = false;
};

}  // namespace kestu
