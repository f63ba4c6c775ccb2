#include "trials/trial_lifecycle.h"

#include <utility>

#include "scenario/outlets.h"
#include "scenario/trial_setup.h"
#include "trials/message_text.h"
#include "trials/number_text.h"
#include "trials/snapshot_keeper.h"
#include "trials/utc_stamp.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace kestu {

namespace {
bool IsEmptyRegularFile(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0;
}

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Renames `from` to `to`, never over a file that exists. Empty on success,
// else the system's reason.
std::string RenameWithoutReplacing(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    return SystemReason(errno);
}

// A share as the participant reads it: "0.43125", or "none" when no tick counted.
std::string ShareText(const std::optional<double>& share)
{
    if (!share) return "none";
    std::string text = FormatNumber(*share);
    if (text.rfind(".", 0) == 0) text.insert(0, "0");
    if (text.rfind("-.", 0) == 0) text.insert(1, "0");
    return text;
}

std::string KeptText(const std::string& file)
{
    return "The study's server cannot be reached, so this trial's results are kept on this computer, in " +
           ForMessage(file, 1000) + ", and are delivered at the next start of Kestu or by kestuctl sync.";
}
}  // namespace

TrialLifecycle::TrialLifecycle(SessionState& state, SnapshotKeeper& snapshots) : s_(state), snapshots_(snapshots)
{
    s_.engine.hooks.deadlineCheckpoint = [this] { DeadlineCheckPoint(); };
    s_.log.onFailure = [this](const std::string& reason) { LogWriteFailed(reason); };
}

template <typename T>
void TrialLifecycle::ReportDbFailure(const Result<T>& outcome)
{
    if (outcome.ok() || dbFailureReported_) return;
    dbFailureReported_ = true;
    s_.Report("The experiment database could not record this trial:\n" + outcome.error());
}

void TrialLifecycle::ReportStoreFailure(const Status& outcome)
{
    if (outcome.ok() || dbFailureReported_) return;
    if (const auto kept = s_.store.ResultsKeptIn()) {
        dbFailureReported_ = true;
        s_.Detail(outcome.error());
        s_.Report(KeptText(*kept));
        return;
    }
    ReportDbFailure(outcome);
}

bool TrialLifecycle::LoadPlant()
{
    Controls& c = s_.controls;
    PlantState& p = s_.plant();
    p.TrialLogOn = false;
    s_.engine.ResetCleaningQueue();
    if (!s_.participant.ReplayMode) {
        s_.timerInterval = s_.participant.SimRate;
        c.SpeedGroupVisible = false;
    }
    if (!s_.participant.FeedforwardOn) c.FFVisible = false;
    if (!s_.participant.ReplayMode) {
        c.ModeShown = SimulatorMode::Experiment;
        c.ReplayConsoleVisible = false;
    } else {
        c.SwitchesEnabled = false;
        p.SwitchTick.fill(0);
        c.ModeShown = SimulatorMode::Replay;
        c.SetupVisible = false;
        c.SimulateVisible = false;
        c.FFVisible = false;
        c.PauseVisible = false;
        c.PlayVisible = true;
        c.PlayEnabled = false;
        c.StopEnabled = false;
        c.ReplayChoices.clear();
        for (int n = 1; n <= s_.participant.TrialNum; ++n) c.ReplayChoices.push_back(n);
    }
    if (s_.participant.TrainingMode) c.ModeShown = SimulatorMode::Training;
    for (int t = 0; t < TankCount; ++t) {
        s_.engine.display().FillTank(t, 0);
        s_.engine.display().PipeWater(t, false);
    }
    for (int s = 0; s < SwitchCount; ++s) s_.engine.SetSwitchStatus(s, SwitchStatus::Off);
    p.Clock = {};
    s_.Notify();

    auto tables = s_.store.ReadScenario();
    const Status loaded = tables ? LoadOutlets(p, tables.value().sorttable) : tables.fault();
    if (!loaded) s_.Report("The plant cannot be loaded:\n" + loaded.error());
    return loaded.ok();
}

void TrialLifecycle::SetUpTraining()
{
    s_.controls.SetupVisible = false;
    s_.controls.TrainingVisible = false;
    s_.participant.TrainingMode = true;
    SetUpTrial();
}

bool TrialLifecycle::SetUpTrial()
{
    Controls& c = s_.controls;
    auto read = s_.store.ReadScenario();
    const Status checked = read ? CheckScenario(read.value()) : read.fault();
    if (!checked) {
        s_.Report("The trial cannot be set up:\n" + checked.error());
        return false;
    }
    const ScenarioTables& tables = read.value();
    // An Experiment trial never runs unrecorded: without its log nothing is set up.
    if (s_.participant.ExperimentMode() && s_.writeTrialLog && !CreateTrialLog()) return false;
    dbFailureReported_ = false;
    logFailureReported_ = false;
    s_.runEnd = RunEnd::NotEnded;
    PlantState& p = s_.plant();

    p.DecisionMethod = s_.decisionChoice;
    c.DetailFBVisible = false;
    if (c.MissedFBVisible) ToggleDetailFeedback();
    p.TrialLogOn = false;
    s_.missed = MissedTally{};
    s_.engine.ResetCleaningQueue();
    // A replay takes its clicks from the log only; nobody may click into it.
    c.SwitchesEnabled = p.DecisionMethod == 0 && !s_.participant.ReplayMode;
    c.SetupVisible = false;
    c.TrainingVisible = false;
    c.DecisionConsoleVisible = false;

    const bool replay = s_.participant.ReplayMode;
    s_.trialEnd = ResetPlantForTrial(s_.engine, tables, s_.participant.TrainingMode, [&] {
        // Between the clock and the deadlines: the labels and buttons of the mode.
        if (!replay) {
            if (s_.participant.TrainingMode) {
                c.ModeShown = SimulatorMode::Training;
                c.TrialNumShown.reset();
                c.FFVisible = false;
            } else {
                c.TrialNumShown = s_.participant.TrialNum + 1;
                c.FFEnabled = true;
            }
            c.SimulateEnabled = true;
        }
        snapshots_.Forget();  // a snapshot never outlives its trial
    });
    for (int k = 0; k < 12; ++k) {
        const TankState& tank = p.Tanks[LabelledTanks[k]];
        c.Deadlines[k] = tank.Deadline;
    }
    s_.timerInterval = s_.speedValue;

    if (s_.participant.ExperimentMode()) {
        p.TrialLogOn = true;
        s_.engine.SetRecordSink(&s_.log);
        s_.engine.RandomDecision();
    }
    s_.Notify();
    return true;
}

bool TrialLifecycle::CreateTrialLog()
{
    DiscardUnstartedLog();  // a setup done again replaces the one that never started
    const std::string path = s_.ProgramPath(TrialLogFileName(s_.participant.UserID, s_.participant.TrialNum + 1));
    const int trialNum = s_.participant.TrialNum + 1;
    Status created = s_.log.Create(path);
    // An empty log is what a copy killed between its setup and its start
    // leaves; it holds nothing, so the trial may take its number.
    if (!created && IsEmptyRegularFile(path) && RemoveRegularFile(path)) created = s_.log.Create(path);
    std::string why;
    if (!created && SetAsideUnclaimedLog(path, trialNum, why)) created = s_.log.Create(path);
    if (!created) {
        s_.Report("The trial log " + ForMessage(path, 1000) + " cannot be created (" + created.error() +
                  "); an existing log is never written over, so the trial cannot be set up." + why);
        return false;
    }
    trialStarted_ = false;
    logStored_ = false;
    return true;
}

// The Random method clicks while the trial is set up, so a copy stopped
// before its start may leave a log with records under a number it never
// claimed. The log is kept, under another name, for the experimenter.
bool TrialLifecycle::SetAsideUnclaimedLog(const std::string& path, int trialNum, std::string& why)
{
    if (!IsRegularFile(path)) return false;
    const Result<bool> claimed = s_.store.TrialClaimed({s_.participant.UserID, trialNum});
    if (!claimed) {
        why = " Whether trial " + std::to_string(trialNum) + " was started cannot be read: " + claimed.error();
        return false;
    }
    if (claimed.value()) return false;  // the log of a trial that ran
    const std::string stamp = UtcStamp();
    std::string aside = path + ".unclaimed-" + stamp;
    std::string failed = RenameWithoutReplacing(path, aside);
    for (int n = 2; failed == SystemReason(EEXIST) && n < 100; ++n)
        failed = RenameWithoutReplacing(path, aside = path + ".unclaimed-" + stamp + "-" + std::to_string(n));
    if (!failed.empty()) {
        why = " It is the log of a setup that never started, but it cannot be moved aside (" + failed + ").";
        return false;
    }
    SyncParentFolder(aside);
    s_.Notice("The trial log " + ForMessage(path, 1000) + " is from a setup of trial " + std::to_string(trialNum) +
              " that never started; it has been moved aside as " + ForMessage(aside, 1000) +
              " and the trial is set up afresh.");
    return true;
}

void TrialLifecycle::DiscardUnstartedLog()
{
    if (s_.log.IsOpen() && !trialStarted_) s_.log.Discard();
}

bool TrialLifecycle::FinishTrialLog()
{
    if (!s_.log.IsOpen()) return s_.log.Healthy();
    if (s_.engine.TimerRunning() || s_.plant().TrialLogOn) s_.log.AppendLogMark(s_.plant(), LogKind::Stop);
    return s_.log.Finish();
}

void TrialLifecycle::LogWriteFailed(const std::string& reason)
{
    if (logFailureReported_) return;
    logFailureReported_ = true;
    // The trial stops as if its window had been closed: no more records, its
    // row keeps empty results, the counter keeps the trial.
    s_.engine.SetTimerRunning(false);
    s_.plant().TrialLogOn = false;
    if (trialStarted_)
        s_.log.Close();
    else
        s_.log.Discard();  // nothing was recorded under this number
    s_.controls.SwitchesEnabled = false;
    s_.runEnd = RunEnd::CutShort;
    ShowCutShort(s_.controls);
    if (trialStarted_) SaveTrialCounter();
    s_.Report("The trial log " + ForMessage(s_.log.Path(), 1000) + " cannot be written (" + reason +
           "), so the trial has been stopped. The log keeps every record written before the fault; "
           "the trial's results are not recorded.");
    s_.Notify();
}

void TrialLifecycle::StartOrStop()
{
    Controls& c = s_.controls;
    const int claimedBefore = s_.participant.TrialNum;
    // The counter takes the number of the trial set up; a replay leaves it alone.
    if (s_.participant.ExperimentMode() && c.TrialNumShown) s_.participant.TrialNum = *c.TrialNumShown;
    const bool starting = !s_.engine.TimerRunning();
    if (starting) {
        s_.engine.SetTimerRunning(true);
        c.SetupEnabled = false;
        c.TrialRunning = true;
        c.FFEnabled = true;
        c.SimulateVisible = false;
        c.SetupVisible = false;
        c.SpeedGroupVisible = false;
    } else {
        s_.engine.SetTimerRunning(false);
        if (s_.log.IsOpen()) {
            s_.log.AppendLogMark(s_.plant(), LogKind::Stop);
            s_.log.Finish();
        }
        if (!s_.participant.ReplayMode) SaveTrialCounter();
        c.TrialRunning = false;
        c.SimulateEnabled = false;
        c.SetupEnabled = true;
        c.FFEnabled = false;
    }
    if (s_.participant.ReplayMode) c.PauseEnabled = false;

    if (starting && s_.participant.ExperimentMode()) {
        const WallClock now = s_.host.now();
        ExperimentStart row{s_.participant.UserID, s_.participant.TrialNum, now.Date, now.Time, "Standard",
                            static_cast<double>(SpeedMinutes(s_.timerInterval))};
        // The counter and the row together, at once: a crash mid-trial must not
        // reuse this trial's number, nor may a second copy of the program.
        const Result<long long> claimed = s_.store.ClaimTrial(row);
        if (claimed) {
            trialStarted_ = true;
        } else {
            ReportDbFailure(claimed);
            s_.participant.TrialNum = claimedBefore;
            s_.engine.SetTimerRunning(false);
            DiscardUnstartedLog();  // the number was never ours
            ShowCutShort(c);
        }
    }
    s_.Notify();
}

void TrialLifecycle::SaveTrialCounter()
{
    ReportDbFailure(s_.store.SaveTrialNum(s_.participant.UserID, s_.participant.TrialNum));
}

void TrialLifecycle::DeadlineCheckPoint()
{
    Controls& c = s_.controls;
    PlantState& p = s_.plant();
    const long long before = s_.missed.Total;
    JudgeDeadlines(p, s_.missed);
    if (ClockTime{p.Clock} != s_.trialEnd) {
        if (s_.missed.Total != before) s_.Notify();
        return;
    }

    s_.runEnd = RunEnd::AtEndTime;
    c.SwitchesEnabled = false;
    --p.ElapsedTicks;
    if (s_.participant.ReplayMode) {
        // A replay ends in its console; the trial controls lead nowhere here.
        c.SpeedGroupVisible = true;
        s_.engine.SetTimerRunning(false);
        ShowReplayEnded(c);
        s_.Notify();
        return;
    }
    c.SimulateVisible = true;
    c.SetupVisible = true;
    if (s_.participant.TrainingMode)
        s_.missed.Total = 0;
    else
        c.DetailFBVisible = true;

    if (s_.participant.ExperimentMode()) {
        // The trial ended now, however long a message shown while its
        // results are stored keeps the participant reading.
        if (!RecordResults(s_.host.now())) return;
    } else if (s_.participant.TrainingMode && s_.participant.FeedforwardOn) {
        c.FFVisible = true;
        c.FFEnabled = false;
    }
    if (!s_.participant.ReplayMode) c.ModeShown = s_.participant.Mode();
    StartOrStop();
}

// Never a completed row for a trial without its whole log, in the file and
// in the database; a failure to finish the log has already stopped the trial.
// The participant reads one message, after every write was tried.
bool TrialLifecycle::RecordResults(const WallClock& ended)
{
    Status logged = Ok();
    if (s_.writeTrialLog) {
        if (!FinishTrialLog()) return false;
        logged = StoreTrialLog(ended);
    }
    const PlantState& p = s_.plant();
    ExperimentResult result;
    result.EndTime = ended.Time;
    result.MissedBuckets = static_cast<double>(s_.missed.Total);
    if (auto shares = ComputeShares(p.ElapsedTicks, p.BusyPumpTicks, p.SweepPumpTicks)) {
        result.BusyTime = shares->BusyTime;
        result.SweepTime = shares->SweepTime;
        result.IdleTime = shares->IdleTime;
    }
    const Status completed = s_.store.CompleteExperiment({s_.participant.UserID, s_.participant.TrialNum}, result);
    if (logged && completed) return true;

    // Shown even after an earlier message: the participant must learn where the results are.
    dbFailureReported_ = true;
    std::string detail = logged ? std::string() : logged.error();
    if (!completed) detail += (detail.empty() ? "" : "\n") + completed.error();
    s_.Detail(detail);
    if (const auto kept = s_.store.ResultsKeptIn()) {
        s_.Report(KeptText(*kept));
    } else if (!completed) {
        s_.Report("This trial's results could not be recorded. Please write them down and give them to the "
                  "experimenter:\nUser ID: " + s_.participant.UserID +
                  "\nTrial: " + std::to_string(s_.participant.TrialNum) +
                  "\nEnd time: " + result.EndTime +
                  "\nMissed buckets: " + std::to_string(s_.missed.Total) +
                  "\nBusy time: " + ShareText(result.BusyTime) +
                  "\nSweep time: " + ShareText(result.SweepTime) +
                  "\nIdle time: " + ShareText(result.IdleTime));
    } else {
        s_.Report("The experiment database recorded this trial's results but could not keep a copy of its log; "
                  "the log is in " + ForMessage(s_.log.Path(), 1000) + ".");
    }
    return true;
}

// The database keeps a copy of the finished log, once per trial.
Status TrialLifecycle::StoreTrialLog(const WallClock& at)
{
    if (logStored_ || s_.log.Path().empty()) return Ok();
    logStored_ = true;
    TrialLogCopy copy{s_.participant.UserID, s_.participant.TrialNum, ThisComputer(), {}, at.Date + " " + at.Time};
    const Result<std::string> bytes = ReadWholeFile(s_.log.Path());
    if (!bytes) return Status(bytes.fault());
    copy.Bytes = bytes.value();
    return s_.store.StoreTrialLog(copy);
}

void TrialLifecycle::ToggleDetailFeedback()
{
    s_.controls.MissedFBVisible = !s_.controls.MissedFBVisible;
    s_.Notify();
}

void TrialLifecycle::ChangeSpeed(int value)
{
    s_.speedValue = value;
    s_.timerInterval = value;
    s_.participant.SimRate = s_.timerInterval;
    s_.Notify();
}

void TrialLifecycle::ClickSwitch(int switchNum)
{
    if (switchNum < 0 || switchNum >= SwitchCount || !s_.controls.SwitchesEnabled) return;
    s_.engine.Switch_Click(switchNum);
}

void TrialLifecycle::CloseWindow()
{
    if (closed_) return;
    closed_ = true;
    if (trialStarted_) {
        if (s_.plant().TrialLogOn && s_.engine.TimerRunning() && s_.log.IsOpen())
            s_.log.AppendLogMark(s_.plant(), LogKind::Stop);
        s_.log.Finish();
        ReportStoreFailure(StoreTrialLog(s_.host.now()));
    } else {
        DiscardUnstartedLog();
    }
    if (!s_.participant.ReplayMode) SaveTrialCounter();
}

}  // namespace kestu
