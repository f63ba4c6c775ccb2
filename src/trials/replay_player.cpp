#include "trials/replay_player.h"

#include "trials/snapshot_keeper.h"
#include "trials/trial_lifecycle.h"

namespace kestu {

namespace {
bool DueAt(const LogRecord& record, const PlantState& plant) { return record.At == plant.Clock; }
}  // namespace

ReplayPlayer::ReplayPlayer(SessionState& state, TrialLifecycle& trial, SnapshotKeeper& snapshots)
    : s_(state), trial_(trial), snapshots_(snapshots)
{
}

void ReplayPlayer::Apply(const LogRecord& record)
{
    if (record.Kind == LogKind::Save || record.Kind == LogKind::Restore)
        snapshots_.SaveOrRestore();  // whether a snapshot is held decides between save and restore
    else if (record.Kind != LogKind::Stop)
        s_.engine.Switch_Click(record.Switch);
    Applied(record);
}

void ReplayPlayer::Applied(const LogRecord& record)
{
    if (recordApplied) recordApplied(record, s_.plant());
}

// No replay loaded: the console waits with nothing of the last replay shown.
void ReplayPlayer::Idle()
{
    log_.Close();
    PlantState& p = s_.plant();
    for (int t = 0; t < TankCount; ++t) {
        p.Tanks[t].Water = 0;
        s_.engine.display().FillTank(t, 0);
        s_.engine.display().PipeWater(t, false);
    }
    for (int i = 0; i < SwitchCount; ++i) {
        p.PumpState[i] = 0;
        s_.engine.SetSwitchStatus(i, SwitchStatus::Off);
    }
    p.PumpsAllocated = 0;
    p.PumpsReleasing = 0;
    p.Clock = {};
    s_.engine.display().ShowClock(p.Clock);
    s_.missed = MissedTally{};
    s_.trialNumShown.reset();
    s_.deadlinesShown = {};
    s_.snapshotPending = false;
    s_.detailShown = false;
    s_.runEnd = RunEnd::NotEnded;
    s_.ticksLived = 0;
    s_.SetPhase(TrialPhase::Idle);
    s_.engine.PumpsInUse_Display();
    s_.Notify();
}

void ReplayPlayer::Load()
{
    if (!selection || *selection <= 0) {
        Idle();
        return;
    }
    LoadFrom(s_.ProgramPath(TrialLogFileName(s_.participant.UserID, *selection)), *selection);
}

void ReplayPlayer::LoadFrom(const std::string& logPath, int trialNum)
{
    TrialLogReader reader;
    const Status opened = reader.Open(logPath);
    LoadOpened(reader, opened, trialNum);
}

void ReplayPlayer::LoadFrom(const TrialLogText& log, int trialNum)
{
    TrialLogReader reader;
    const Status opened = reader.OpenText(log.name, log.text);
    LoadOpened(reader, opened, trialNum);
}

void ReplayPlayer::LoadReader(TrialLogReader reader, int trialNum)
{
    LoadOpened(reader, Ok(), trialNum);
}

void ReplayPlayer::LoadOpened(TrialLogReader& reader, const Status& opened, int trialNum)
{
    if (!opened) {
        Refuse(trialNum, opened.error());
        return;
    }
    log_.Close();
    s_.SetPhase(TrialPhase::Idle);
    s_.trialNumShown = trialNum;
    if (!trial_.SetUpTrial()) {
        Idle();
        return;
    }
    if (const Status inTime = reader.CheckEndTime(s_.trialEnd); !inTime) {
        Refuse(trialNum, inTime.error());
        return;
    }
    log_ = std::move(reader);
    loadedTrial_ = trialNum;
    started_ = false;
    ApplySetupRecords();
    s_.engine.PumpsInUse_Display();
    s_.Notify();
}

void ReplayPlayer::Refuse(int trialNum, const std::string& why)
{
    Idle();
    s_.EmitFault({.What = FaultKind::ReplayImpossible, .Reason = why, .TrialNum = trialNum});
}

// Records stamped with the setup time are applied now, all but the log's last.
void ReplayPlayer::ApplySetupRecords()
{
    next_ = log_.ReadLogRecord();
    bool stopSeen = false;
    while (!log_.AtEnd() && DueAt(next_, s_.plant())) {
        if (next_.Kind == LogKind::Stop) stopSeen = true;
        Apply(next_);
        next_ = log_.ReadLogRecord();
    }
    // Only a trial closed, or cut off, in its very first second has nothing to play.
    const bool lastDue = log_.AtEnd() && DueAt(next_, s_.plant());
    const bool stopDue = stopSeen || (next_.Kind == LogKind::Stop && lastDue);
    const bool beforeEnd = s_.plant().Clock != s_.trialEnd;
    const bool closedAtOnce = stopDue && beforeEnd;
    const bool cutAtOnce = !stopDue && lastDue && beforeEnd;
    if (cutAtOnce) {
        Apply(next_);
        next_ = LogRecord{};
    }
    if (closedAtOnce)
        EndHere(RunEnd::ByStopRecord);
    else if (cutAtOnce)
        EndHere(RunEnd::LogCutOff);
    else
        s_.SetPhase(TrialPhase::ReplayLoaded);
}

void ReplayPlayer::Step()
{
    while (DueAt(next_, s_.plant())) {
        const bool last = log_.AtEnd();
        if (next_.Kind == LogKind::Stop) {
            // A STOP on the end time is left to the deadline checkpoint of the
            // next tick, which ends the replay as it ended the trial.
            Applied(next_);
            if (s_.plant().Clock != s_.trialEnd) EndHere(RunEnd::ByStopRecord);
        } else {
            Apply(next_);
            // A log that ends before the end time with no STOP was cut off
            // (the program died, or a record could not be written): what
            // happened after its last record is not known, so the replay
            // ends there rather than play on without the participant.
            if (last && s_.plant().Clock != s_.trialEnd) EndHere(RunEnd::LogCutOff);
        }
        next_ = log_.ReadLogRecord();
    }
}

void ReplayPlayer::EndHere(RunEnd how)
{
    s_.runEnd = how;
    s_.SetPhase(TrialPhase::ReplayEnded);
    TrialEvent event = s_.Event(TrialEventKind::StoppedEarly);
    event.How = how;
    s_.Emit(event);
    s_.Notify();
}

void ReplayPlayer::Play()
{
    s_.plant().TrialLogOn = false;
    s_.SetPhase(TrialPhase::ReplayPlaying);
    s_.Emit(started_ ? TrialEventKind::Resumed : TrialEventKind::Started);
    started_ = true;
    s_.Notify();
}

void ReplayPlayer::Pause()
{
    s_.SetPhase(TrialPhase::ReplayPaused);
    s_.Emit(TrialEventKind::Paused);
    s_.Notify();
}

bool ReplayPlayer::Rewind()
{
    if (!log_.IsOpen()) return false;
    log_.Rewind();
    s_.engine.ResetCleaningQueue();
    trial_.SetUpAgain();
    started_ = false;
    ApplySetupRecords();
    return true;
}

void ReplayPlayer::Restart()
{
    s_.engine.ResetCleaningQueue();
    s_.SetPhase(TrialPhase::Idle);
    Load();
}

}  // namespace kestu
