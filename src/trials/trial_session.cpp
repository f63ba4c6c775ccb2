#include "trials/trial_session.h"

#include <ctime>
#include <utility>

#include "scenario/outlets.h"
#include "scenario/trial_setup.h"
#include "trials/message_text.h"
#include "trials/number_text.h"

#include <sys/stat.h>

namespace kestu {

namespace {
bool IsEmptyRegularFile(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0;
}
}  // namespace

WallClock SystemWallClock()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16], time[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    return {date, time};
}

TrialSession::TrialSession(ParticipantState& participant, ExperimentStore& store, std::string programFolder,
                           EngineConstants constants)
    : engine(constants), snapshotFolder(programFolder), participant_(participant), store_(store),
      programFolder_(std::move(programFolder))
{
    engine.hooks.deadlineCheckpoint = [this] { DeadlineCheckPoint(); };
    engine.hooks.timerChanged = [this](bool running) {
        if (host.timerChanged) host.timerChanged(running);
    };
    engine.hooks.yield = [this](YieldPoint point) {
        if (host.yield) host.yield(point);
    };
    log_.onFailure = [this](const std::string& reason) { LogWriteFailed(reason); };
    engine.hooks.replayStep = [this] {
        if (participant_.ReplayMode) ReplayStep();
    };
}

std::string TrialSession::ProgramPath(const std::string& fileName) const
{
    return programFolder_.empty() ? fileName : programFolder_ + "/" + fileName;
}

void TrialSession::StartTimer() { engine.SetTimerRunning(true); }
void TrialSession::StopTimer() { engine.SetTimerRunning(false); }

void TrialSession::Notify()
{
    if (host.controlsChanged) host.controlsChanged();
}

void TrialSession::Report(const std::string& text)
{
    if (host.report) host.report("Kestu Simulation", text);
}

void TrialSession::ReportDbFailure(const std::string& error)
{
    if (error.empty() || dbFailureReported_) return;
    dbFailureReported_ = true;
    Report("The experiment database could not record this trial:\n" + error);
}

bool TrialSession::LoadPlant()
{
    PlantState& p = plant();
    p.TrialLogOn = false;
    engine.ResetCleaningQueue();
    if (!participant_.ReplayMode) {
        timerInterval = participant_.SimRate;
        controls.SpeedGroupVisible = false;
    }
    if (!participant_.FeedforwardOn) controls.FFVisible = false;
    if (!participant_.ReplayMode) {
        controls.ModeShown = SimulatorMode::Experiment;
        controls.ReplayConsoleVisible = false;
    } else {
        controls.SwitchesEnabled = false;
        p.SwitchTick.fill(0);
        controls.ModeShown = SimulatorMode::Replay;
        controls.SetupVisible = false;
        controls.SimulateVisible = false;
        controls.FFVisible = false;
        controls.PauseVisible = false;
        controls.PlayVisible = true;
        controls.PlayEnabled = false;
        controls.StopEnabled = false;
        replayList.clear();
        for (int n = 1; n <= participant_.TrialNum; ++n) replayList.push_back(n);
    }
    if (participant_.TrainingMode) controls.ModeShown = SimulatorMode::Training;
    for (int t = 0; t < TankCount; ++t) {
        engine.display().FillTank(t, 0);
        engine.display().PipeWater(t, false);
    }
    for (int s = 0; s < SwitchCount; ++s) engine.SetSwitchStatus(s, SwitchStatus::Off);
    p.Clock = {};
    Notify();

    ScenarioTables tables;
    std::string error = store_.ReadScenario(tables);
    if (error.empty()) error = LoadOutlets(p, tables.sorttable);
    if (!error.empty()) {
        Report("The plant cannot be loaded:\n" + error);
        return false;
    }
    return true;
}

void TrialSession::SetUpTraining()
{
    controls.SetupVisible = false;
    controls.TrainingVisible = false;
    participant_.TrainingMode = true;
    SetUpTrial();
}

void TrialSession::SetUpTrial()
{
    SetUp();
}

bool TrialSession::SetUp()
{
    ScenarioTables tables;
    std::string error = store_.ReadScenario(tables);
    if (error.empty()) error = CheckScenario(tables);
    if (!error.empty()) {
        Report("The trial cannot be set up:\n" + error);
        return false;
    }
    // An Experiment trial never runs unrecorded: without its log nothing is set up.
    if (participant_.ExperimentMode() && writeTrialLog && !CreateTrialLog()) return false;
    dbFailureReported_ = false;
    logFailureReported_ = false;
    runEnd = RunEnd::NotEnded;
    PlantState& p = plant();

    p.DecisionMethod = decisionChoice;
    controls.DetailFBVisible = false;
    if (controls.MissedFBVisible) ToggleDetailFeedback();
    p.TrialLogOn = false;
    missed = MissedTally{};
    engine.ResetCleaningQueue();
    // A replay takes its clicks from the log only; nobody may click into it.
    controls.SwitchesEnabled = p.DecisionMethod == 0 && !participant_.ReplayMode;
    controls.SetupVisible = false;
    controls.TrainingVisible = false;
    controls.DecisionConsoleVisible = false;

    const bool replay = participant_.ReplayMode;
    trialEnd = ResetPlantForTrial(engine, tables, participant_.TrainingMode, [&] {
        // Between the clock and the deadlines: the labels and buttons of the mode.
        if (!replay) {
            if (participant_.TrainingMode) {
                controls.ModeShown = SimulatorMode::Training;
                controls.TrialNumShown.reset();
                controls.FFVisible = false;
            } else {
                controls.TrialNumShown = participant_.TrialNum + 1;
                controls.FFEnabled = true;
            }
            controls.SimulateEnabled = true;
        }
        controls.SnapshotPending = false;  // a snapshot never outlives its trial
        savedSnapshot_.reset();
    });
    for (int k = 0; k < 12; ++k) {
        const TankState& tank = p.Tanks[LabelledTanks[k]];
        controls.Deadlines[k] = tank.Deadline;
    }
    timerInterval = speedValue;

    if (participant_.ExperimentMode()) {
        p.TrialLogOn = true;
        engine.SetRecordSink(&log_);
        engine.RandomDecision();
    }
    Notify();
    return true;
}

bool TrialSession::CreateTrialLog()
{
    DiscardUnstartedLog();  // a setup done again replaces the one that never started
    const std::string path = ProgramPath(TrialLogFileName(participant_.UserID, participant_.TrialNum + 1));
    std::string error = log_.Create(path);
    // An empty log is what a copy killed between its setup and its start
    // leaves; it holds nothing, so the trial may take its number.
    if (!error.empty() && IsEmptyRegularFile(path) && RemoveRegularFile(path)) error = log_.Create(path);
    if (!error.empty()) {
        Report("The trial log " + ForMessage(path, 1000) + " cannot be created (" + error +
               "); an existing log is never written over, so the trial cannot be set up.");
        return false;
    }
    trialStarted_ = false;
    return true;
}

void TrialSession::DiscardUnstartedLog()
{
    if (log_.IsOpen() && !trialStarted_) log_.Discard();
}

bool TrialSession::FinishTrialLog()
{
    if (!log_.IsOpen()) return log_.Healthy();
    if (engine.TimerRunning() || plant().TrialLogOn) log_.AppendLogMark(plant(), LogKind::Stop);
    return log_.Finish();
}

void TrialSession::LogWriteFailed(const std::string& reason)
{
    if (logFailureReported_) return;
    logFailureReported_ = true;
    // The trial stops as if its window had been closed: no more records, its
    // row keeps empty results, the counter keeps the trial.
    StopTimer();
    plant().TrialLogOn = false;
    if (trialStarted_)
        log_.Close();
    else
        log_.Discard();  // nothing was recorded under this number
    controls.SwitchesEnabled = false;
    runEnd = RunEnd::CutShort;
    ShowCutShort();
    if (trialStarted_) SaveTrialCounter();
    Report("The trial log " + ForMessage(log_.Path(), 1000) + " cannot be written (" + reason +
           "), so the trial has been stopped. The log keeps every record written before the fault; "
           "the trial's results are not recorded.");
    Notify();
}

// A trial stopped before its end: the participant may only set up again.
void TrialSession::ShowCutShort()
{
    controls.TrialRunning = false;
    controls.SimulateEnabled = false;
    controls.SimulateVisible = true;
    controls.SetupEnabled = true;
    controls.SetupVisible = true;
    controls.FFEnabled = false;
}

void TrialSession::StartOrStop()
{
    const int claimedBefore = participant_.TrialNum;
    // The counter takes the number of the trial set up; a replay leaves it alone.
    if (participant_.ExperimentMode() && controls.TrialNumShown) participant_.TrialNum = *controls.TrialNumShown;
    const bool starting = !engine.TimerRunning();
    if (starting) {
        StartTimer();
        controls.SetupEnabled = false;
        controls.TrialRunning = true;
        controls.FFEnabled = true;
        controls.SimulateVisible = false;
        controls.SetupVisible = false;
        controls.SpeedGroupVisible = false;
    } else {
        StopTimer();
        if (log_.IsOpen()) {
            log_.AppendLogMark(plant(), LogKind::Stop);
            log_.Finish();
        }
        if (!participant_.ReplayMode) SaveTrialCounter();
        controls.TrialRunning = false;
        controls.SimulateEnabled = false;
        controls.SetupEnabled = true;
        controls.FFEnabled = false;
    }
    if (participant_.ReplayMode) controls.PauseEnabled = false;

    if (starting && participant_.ExperimentMode()) {
        const WallClock now = host.now();
        ExperimentStart row{participant_.UserID, participant_.TrialNum, now.Date, now.Time, "Standard",
                            static_cast<double>(SpeedMinutes(timerInterval))};
        // The counter and the row together, at once: a crash mid-trial must not
        // reuse this trial's number, nor may a second copy of the program.
        const std::string error = store_.ClaimTrial(row, experimentRow_);
        if (error.empty()) {
            trialStarted_ = true;
        } else {
            ReportDbFailure(error);
            participant_.TrialNum = claimedBefore;
            StopTimer();
            DiscardUnstartedLog();  // the number was never ours
            ShowCutShort();
        }
    }
    Notify();
}

void TrialSession::SaveTrialCounter()
{
    ReportDbFailure(store_.SaveTrialNum(participant_.UserID, participant_.TrialNum));
}

void TrialSession::DeadlineCheckPoint()
{
    PlantState& p = plant();
    const long long before = missed.Total;
    JudgeDeadlines(p, missed);
    if (ClockTime{p.Clock} != trialEnd) {
        if (missed.Total != before) Notify();
        return;
    }

    runEnd = RunEnd::AtEndTime;
    controls.SwitchesEnabled = false;
    --p.ElapsedTicks;
    if (participant_.ReplayMode) {
        // A replay ends in its console; the trial controls lead nowhere here.
        controls.SpeedGroupVisible = true;
        StopTimer();
        ShowReplayEnded();
        return;
    }
    controls.SimulateVisible = true;
    controls.SetupVisible = true;
    if (participant_.TrainingMode)
        missed.Total = 0;
    else
        controls.DetailFBVisible = true;

    // Never a completed row for a trial without its whole log; a failure has
    // already stopped the trial.
    if (participant_.ExperimentMode() && writeTrialLog && !FinishTrialLog()) return;
    if (participant_.ExperimentMode()) {
        ExperimentResult result;
        result.EndTime = host.now().Time;
        result.MissedBuckets = static_cast<double>(missed.Total);
        if (auto shares = ComputeShares(p.ElapsedTicks, p.BusyPumpTicks, p.SweepPumpTicks)) {
            result.BusyTime = shares->BusyTime;
            result.SweepTime = shares->SweepTime;
            result.IdleTime = shares->IdleTime;
        }
        ReportDbFailure(store_.CompleteExperiment(experimentRow_, result));
    } else if (participant_.TrainingMode && participant_.FeedforwardOn) {
        controls.FFVisible = true;
        controls.FFEnabled = false;
    }
    if (!participant_.ReplayMode) controls.ModeShown = participant_.Mode();
    StartOrStop();
}

void TrialSession::ToggleDetailFeedback()
{
    controls.MissedFBVisible = !controls.MissedFBVisible;
    Notify();
}

void TrialSession::ChangeSpeed(int value)
{
    speedValue = value;
    timerInterval = value;
    participant_.SimRate = timerInterval;
    Notify();
}

void TrialSession::ClickSwitch(int switchNum)
{
    if (switchNum < 0 || switchNum >= SwitchCount || !controls.SwitchesEnabled) return;
    engine.Switch_Click(switchNum);
}

void TrialSession::CloseWindow()
{
    if (closed_) return;
    closed_ = true;
    if (trialStarted_) {
        if (plant().TrialLogOn && engine.TimerRunning() && log_.IsOpen()) log_.AppendLogMark(plant(), LogKind::Stop);
        log_.Finish();
    } else {
        DiscardUnstartedLog();
    }
    replayLog_.Close();
    if (!participant_.ReplayMode) SaveTrialCounter();
}

}  // namespace kestu
