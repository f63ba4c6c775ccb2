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
    s_.engine.hooks.replayStep = [this] {
        if (s_.participant.ReplayMode) Step();
    };
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

void ReplayPlayer::Idle()
{
    s_.engine.SetTimerRunning(false);
    Controls& c = s_.controls;
    c.PlayVisible = true;
    c.PlayEnabled = false;
    c.PauseVisible = false;
    c.StopEnabled = false;
    s_.engine.PumpsInUse_Display();
    s_.Notify();
}

void ReplayPlayer::Load()
{
    s_.engine.SetTimerRunning(false);
    s_.controls.PlayVisible = true;
    s_.controls.PauseVisible = false;
    s_.plant().PumpsAllocated = 0;
    s_.plant().PumpsReleasing = 0;
    s_.missed.Total = 0;

    if (!selection || *selection <= 0) {
        s_.engine.PumpsInUse_Display();
        s_.Notify();
        return;
    }
    LoadFrom(s_.ProgramPath(TrialLogFileName(s_.participant.UserID, *selection)), *selection);
}

void ReplayPlayer::LoadFrom(const std::string& logPath, int trialNum)
{
    TrialLogReader reader;
    LoadOpened(reader, reader.Open(logPath), trialNum);
}

void ReplayPlayer::LoadFrom(const TrialLogText& log, int trialNum)
{
    TrialLogReader reader;
    LoadOpened(reader, reader.OpenText(log.name, log.text), trialNum);
}

void ReplayPlayer::LoadOpened(TrialLogReader& reader, const Status& opened, int trialNum)
{
    const std::string cannot = "Trial " + std::to_string(trialNum) + " cannot be replayed:\n";
    if (!opened) {
        log_.Close();
        s_.Report(cannot + opened.error());
        Idle();
        return;
    }
    s_.controls.TrialNumShown = trialNum;
    log_.Close();
    if (!trial_.SetUpTrial()) {
        Idle();
        return;
    }
    if (const Status inTime = reader.CheckEndTime(s_.trialEnd); !inTime) {
        s_.Report(cannot + inTime.error());
        Idle();
        return;
    }
    log_ = std::move(reader);

    // Records stamped with the setup time are applied now, all but the log's last.
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
    if (closedAtOnce) s_.runEnd = RunEnd::ByStopRecord;
    if (cutAtOnce) {
        Apply(next_);
        next_ = LogRecord{};
        s_.runEnd = RunEnd::LogCutOff;
    }
    s_.controls.PlayEnabled = !closedAtOnce && !cutAtOnce;
    s_.controls.StopEnabled = !closedAtOnce && !cutAtOnce;
    s_.engine.PumpsInUse_Display();
    s_.Notify();
}

void ReplayPlayer::Step()
{
    while (DueAt(next_, s_.plant())) {
        const bool last = log_.AtEnd();
        if (next_.Kind == LogKind::Stop) {
            // A STOP on the end time is left to the deadline checkpoint of the
            // next tick, which ends the replay as it ended the trial.
            if (s_.plant().Clock != s_.trialEnd) EndHere(RunEnd::ByStopRecord);
            Applied(next_);
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
    s_.engine.SetTimerRunning(false);
    s_.runEnd = how;
    ShowReplayEnded(s_.controls);
    s_.Notify();
}

void ReplayPlayer::Play()
{
    s_.plant().TrialLogOn = false;
    s_.engine.SetTimerRunning(true);
    s_.controls.PlayVisible = false;
    s_.controls.PauseVisible = true;
    s_.controls.PauseEnabled = true;
    s_.Notify();
}

void ReplayPlayer::Pause()
{
    s_.engine.SetTimerRunning(false);
    s_.controls.PlayVisible = true;
    s_.controls.PauseVisible = false;
    s_.Notify();
}

void ReplayPlayer::Restart()
{
    s_.engine.ResetCleaningQueue();
    s_.engine.SetTimerRunning(false);
    Load();
}

}  // namespace kestu
