#include "trials/trial_lifecycle.h"

#include <utility>

#include "scenario/outlets.h"
#include "scenario/trial_setup.h"
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

}  // namespace

TrialLifecycle::TrialLifecycle(SessionState& state, SnapshotKeeper& snapshots) : s_(state), snapshots_(snapshots)
{
    s_.log.onFailure = [this](const std::string& reason) { LogWriteFailed(reason); };
}

template <typename T>
void TrialLifecycle::ReportDbFailure(const Result<T>& outcome)
{
    if (outcome.ok() || dbFailureReported_) return;
    dbFailureReported_ = true;
    s_.EmitFault({.What = FaultKind::StoreFailed, .Reason = outcome.error()});
}

void TrialLifecycle::ReportStoreFailure(const Status& outcome)
{
    if (outcome.ok() || dbFailureReported_) return;
    if (const auto kept = s_.store.ResultsKeptIn()) {
        dbFailureReported_ = true;
        s_.Detail(outcome.error());
        s_.EmitFault({.What = FaultKind::ResultsKept, .File = *kept});
        return;
    }
    ReportDbFailure(outcome);
}

bool TrialLifecycle::LoadPlant()
{
    PlantState& p = s_.plant();
    p.TrialLogOn = false;
    s_.engine.ResetCleaningQueue();
    if (!s_.participant.ReplayMode) {
        s_.timerInterval = s_.participant.SimRate;
    } else {
        p.SwitchTick.fill(0);
        s_.replayChoices.clear();
        for (int n = 1; n <= s_.participant.TrialNum; ++n) s_.replayChoices.push_back(n);
    }
    for (int t = 0; t < TankCount; ++t) {
        s_.engine.display().FillTank(t, 0);
        s_.engine.display().PipeWater(t, false);
    }
    for (int s = 0; s < SwitchCount; ++s) s_.engine.SetSwitchStatus(s, SwitchStatus::Off);
    p.Clock = {};
    s_.SetPhase(TrialPhase::Idle);
    s_.Notify();

    auto tables = s_.store.ReadScenario();
    const Status loaded = tables ? LoadOutlets(p, tables.value().sorttable) : tables.fault();
    if (!loaded) {
        s_.EmitFault({.What = FaultKind::PlantNotLoaded, .Reason = loaded.error()});
        return false;
    }
    loadedTables_ = std::move(tables).value();
    return true;
}

void TrialLifecycle::SetUpTraining()
{
    s_.participant.TrainingMode = true;
    SetUpTrial();
}

// The first setup takes the tables the load read; every later one reads them afresh.
Result<ScenarioTables> TrialLifecycle::ScenarioForSetup()
{
    if (!loadedTables_) return s_.store.ReadScenario();
    ScenarioTables tables = std::move(*loadedTables_);
    loadedTables_.reset();
    return tables;
}

bool TrialLifecycle::SetUpTrial()
{
    auto read = ScenarioForSetup();
    const Status checked = read ? CheckScenario(read.value()) : read.fault();
    if (!checked) {
        s_.EmitFault({.What = FaultKind::SetupImpossible, .Reason = checked.error()});
        return false;
    }
    // An Experiment trial never runs unrecorded: without its log nothing is set up.
    if (s_.participant.ExperimentMode() && s_.writeTrialLog && !CreateTrialLog()) return false;
    setUpTables_ = std::move(read).value();
    ShowSetUp(setUpTables_);
    PlantState& p = s_.plant();
    if (s_.participant.ExperimentMode()) {
        p.TrialLogOn = true;
        s_.engine.RandomDecision();
    }
    s_.Notify();
    return true;
}

void TrialLifecycle::SetUpAgain()
{
    ShowSetUp(setUpTables_);
}

// The plant, the clock, the deadlines and the facts shown, as the trial starts.
void TrialLifecycle::ShowSetUp(const ScenarioTables& tables)
{
    dbFailureReported_ = false;
    logFailureReported_ = false;
    s_.runEnd = RunEnd::NotEnded;
    PlantState& p = s_.plant();
    p.DecisionMethod = s_.decisionChoice;
    s_.detailShown = false;
    p.TrialLogOn = false;
    s_.missed = MissedTally{};
    s_.engine.ResetCleaningQueue();
    s_.trialEnd = ResetPlantForTrial(s_.engine, tables, s_.participant.TrainingMode);
    snapshots_.Forget();  // a snapshot never outlives its trial
    if (!s_.participant.ReplayMode) {
        if (s_.participant.TrainingMode)
            s_.trialNumShown.reset();
        else
            s_.trialNumShown = s_.participant.TrialNum + 1;
    }
    for (int k = 0; k < 12; ++k) s_.deadlinesShown[k] = p.Tanks[LabelledTanks[k]].Deadline;
    s_.timerInterval = s_.speedValue;
    s_.ticksLived = 0;
    if (!s_.participant.ReplayMode) s_.SetPhase(TrialPhase::SetUp);
    s_.Emit(TrialEventKind::SetUp);
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
    TrialFault fault{.What = FaultKind::LogNotCreated, .File = path, .TrialNum = trialNum};
    if (!created && SetAsideUnclaimedLog(path, trialNum, fault)) created = s_.log.Create(path);
    if (!created) {
        fault.Reason = created.error();
        s_.EmitFault(std::move(fault));
        return false;
    }
    trialStarted_ = false;
    logStored_ = false;
    return true;
}

// The Random method clicks while the trial is set up, so a copy stopped
// before its start may leave a log with records under a number it never
// claimed. The log is kept, under another name, for the experimenter.
bool TrialLifecycle::SetAsideUnclaimedLog(const std::string& path, int trialNum, TrialFault& fault)
{
    if (!IsRegularFile(path)) return false;
    const Result<bool> claimed = s_.store.TrialClaimed({s_.participant.UserID, trialNum});
    if (!claimed) {
        fault.Aside = AsideProblem::ClaimUnknown;
        fault.AsideReason = claimed.error();
        return false;
    }
    if (claimed.value()) return false;  // the log of a trial that ran
    const std::string stamp = UtcStamp();
    std::string aside = path + ".unclaimed-" + stamp;
    std::string failed = RenameWithoutReplacing(path, aside);
    for (int n = 2; failed == SystemReason(EEXIST) && n < 100; ++n)
        failed = RenameWithoutReplacing(path, aside = path + ".unclaimed-" + stamp + "-" + std::to_string(n));
    if (!failed.empty()) {
        fault.Aside = AsideProblem::CannotMove;
        fault.AsideReason = failed;
        return false;
    }
    SyncParentFolder(aside);
    s_.EmitFault({.What = FaultKind::UnclaimedLogSetAside, .File = path, .OtherFile = aside, .TrialNum = trialNum});
    return true;
}

void TrialLifecycle::DiscardUnstartedLog()
{
    if (s_.log.IsOpen() && !trialStarted_) s_.log.Discard();
}

bool TrialLifecycle::FinishTrialLog()
{
    if (!s_.log.IsOpen()) return s_.log.Healthy();
    if (s_.Ticking() || s_.plant().TrialLogOn) s_.log.AppendLogMark(s_.plant(), LogKind::Stop);
    return s_.log.Finish();
}

// The trial stops as if its window had been closed: no more records, its
// row keeps empty results, the counter keeps the trial.
void TrialLifecycle::LogWriteFailed(const std::string& reason)
{
    if (logFailureReported_) return;
    logFailureReported_ = true;
    s_.plant().TrialLogOn = false;
    if (trialStarted_)
        s_.log.Close();
    else
        s_.log.Discard();  // nothing was recorded under this number
    s_.runEnd = RunEnd::CutShort;
    s_.SetPhase(TrialPhase::CutShort);
    s_.EmitFault({.What = FaultKind::LogNotWritten, .File = s_.log.Path(), .Reason = reason, .TrialStopped = true});
    s_.Notify();
}

void TrialLifecycle::StartOrStop()
{
    const int claimedBefore = s_.participant.TrialNum;
    // The counter takes the number of the trial set up; a replay leaves it alone.
    if (s_.participant.ExperimentMode() && s_.trialNumShown) s_.participant.TrialNum = *s_.trialNumShown;
    const bool starting = !s_.Ticking();
    if (!starting) {
        s_.SetPhase(s_.runEnd == RunEnd::AtEndTime ? TrialPhase::Ended : TrialPhase::CutShort);
        if (s_.log.IsOpen()) {
            s_.log.AppendLogMark(s_.plant(), LogKind::Stop);
            s_.log.Finish();
        }
        s_.Notify();
        return;
    }
    s_.SetPhase(TrialPhase::Running);
    if (s_.participant.ExperimentMode()) {
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
            DiscardUnstartedLog();  // the number was never ours
            s_.SetPhase(TrialPhase::CutShort);
        }
    }
    if (s_.phase == TrialPhase::Running) s_.Emit(TrialEventKind::Started);
    s_.Notify();
}

void TrialLifecycle::DeadlineCheckPoint()
{
    PlantState& p = s_.plant();
    const long long before = s_.missed.Total;
    JudgeDeadlines(p, s_.missed);
    if (s_.observers.Want(TrialEventKind::DeadlineJudged)) EmitJudged(before);
    if (ClockTime{p.Clock} != s_.trialEnd) {
        if (s_.missed.Total != before) s_.Notify();
        return;
    }
    s_.runEnd = RunEnd::AtEndTime;
    --p.ElapsedTicks;
    if (s_.participant.ReplayMode) {
        // A replay ends in its console; the trial controls lead nowhere here.
        s_.SetPhase(TrialPhase::ReplayEnded);
        EmitEnd(TrialEventKind::Ended);
        s_.Notify();
        return;
    }
    EndTrial();
}

// The trial reached its end time: its results are recorded, then it stops.
void TrialLifecycle::EndTrial()
{
    if (s_.participant.TrainingMode) s_.missed.Total = 0;
    if (s_.participant.ExperimentMode()) {
        // The trial ended now, however long a message shown while its
        // results are stored keeps the participant reading.
        if (!RecordResults(s_.host.now())) return;
    }
    EmitEnd(TrialEventKind::Ended);
    StartOrStop();
}

// One event per tank judged, in tank order, each with the total it brought.
void TrialLifecycle::EmitJudged(long long totalBefore) const
{
    const PlantState& p = s_.plant();
    long long total = totalBefore;
    for (int t = 0; t < TankCount; ++t) {
        if (!DeadlineDueNow(p, t)) continue;
        TrialEvent event = s_.Event(TrialEventKind::DeadlineJudged);
        event.Tank = t;
        event.Owed = p.Tanks[t].ExpectAmt;
        event.Missed = p.Tanks[t].ExpectAmt;
        total += event.Missed;
        event.MissedTotal = total;
        s_.Emit(event);
    }
}

void TrialLifecycle::EmitEnd(TrialEventKind kind) const
{
    if (!s_.observers.Want(kind)) return;
    TrialEvent event = s_.Event(kind);
    event.How = s_.runEnd;
    s_.Emit(event);
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
    if (!logged || !completed) ReportUnrecorded(logged, completed, result);
    return true;
}

// Told even after an earlier fault: the participant must learn where the results are.
void TrialLifecycle::ReportUnrecorded(const Status& logged, const Status& completed, const ExperimentResult& result)
{
    dbFailureReported_ = true;
    std::string detail = logged ? std::string() : logged.error();
    if (!completed) detail += (detail.empty() ? "" : "\n") + completed.error();
    s_.Detail(detail);
    if (const auto kept = s_.store.ResultsKeptIn()) {
        s_.EmitFault({.What = FaultKind::ResultsKept, .File = *kept});
    } else if (!completed) {
        UnrecordedResults unrecorded{s_.participant.UserID, s_.participant.TrialNum, result, s_.missed.Total};
        s_.EmitFault({.What = FaultKind::ResultsNotRecorded, .Unrecorded = std::move(unrecorded)});
    } else {
        s_.EmitFault({.What = FaultKind::LogCopyNotKept, .File = s_.log.Path()});
    }
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
    s_.detailShown = !s_.detailShown;
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
    if (switchNum < 0 || switchNum >= SwitchCount || !s_.controls().SwitchesEnabled) return;
    s_.engine.Switch_Click(switchNum);
}

// The trial's count was written with its row when it started; the close
// only settles the log.
void TrialLifecycle::CloseWindow()
{
    if (closed_) return;
    closed_ = true;
    const bool running = s_.Ticking() && !s_.participant.ReplayMode;
    if (trialStarted_) {
        if (s_.plant().TrialLogOn && running && s_.log.IsOpen()) s_.log.AppendLogMark(s_.plant(), LogKind::Stop);
        s_.log.Finish();
        ReportStoreFailure(StoreTrialLog(s_.host.now()));
    } else {
        DiscardUnstartedLog();
    }
    if (!running) return;
    s_.runEnd = RunEnd::ByStopRecord;
    s_.SetPhase(TrialPhase::CutShort);
    EmitEnd(TrialEventKind::StoppedEarly);
}

}  // namespace kestu
