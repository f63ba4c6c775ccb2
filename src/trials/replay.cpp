#include "trials/number_text.h"
#include "trials/trial_session.h"

namespace kestu {

namespace {
bool DueAt(const LogRecord& record, const PlantState& plant)
{
    return record.At == plant.Clock;
}
}  // namespace

void TrialSession::ApplyRecord(const LogRecord& record)
{
    if (record.Kind == LogKind::Save || record.Kind == LogKind::Restore)
        SaveOrRestoreSnapshot();  // the button's caption decides between save and restore
    else if (record.Kind != LogKind::Stop)
        engine.Switch_Click(record.Switch);
}

void TrialSession::ReplayIdle()
{
    StopTimer();
    controls.PlayVisible = true;
    controls.PlayEnabled = false;
    controls.PauseVisible = false;
    controls.StopEnabled = false;
    engine.PumpsInUse_Display();
    Notify();
}

void TrialSession::LoadReplay()
{
    StopTimer();
    controls.PlayVisible = true;
    controls.PauseVisible = false;
    plant().PumpsAllocated = 0;
    plant().PumpsReleasing = 0;
    missed.Total = 0;

    const std::optional<int> trial = replaySelection;
    if (!trial || *trial <= 0) {
        engine.PumpsInUse_Display();
        Notify();
        return;
    }
    const int trialNum = static_cast<int>(*trial);
    LoadReplayFrom(ProgramPath(TrialLogFileName(participant_.UserID, trialNum)), trialNum);
}

void TrialSession::LoadReplayFrom(const std::string& logPath, int trialNum)
{
    TrialLogReader reader;
    if (!reader.Open(logPath)) {
        replayLog_.Close();
        Report("Trial " + std::to_string(trialNum) + " cannot be replayed:\n" + reader.Error());
        ReplayIdle();
        return;
    }
    controls.TrialNumShown = trialNum;
    replayLog_.Close();
    if (!SetUp()) {
        ReplayIdle();
        return;
    }
    if (!reader.CheckEndTime(trialEnd)) {
        Report("Trial " + std::to_string(trialNum) + " cannot be replayed:\n" + reader.Error());
        ReplayIdle();
        return;
    }
    replayLog_ = std::move(reader);

    // Records stamped with the setup time are applied now, all but the log's last.
    logRec_ = replayLog_.ReadLogRecord();
    bool stopSeen = false;
    while (!replayLog_.AtEnd() && DueAt(logRec_, plant())) {
        if (logRec_.Kind == LogKind::Stop) stopSeen = true;
        ApplyRecord(logRec_);
        logRec_ = replayLog_.ReadLogRecord();
    }
    // Only a trial closed in its very first second has nothing to play.
    const bool stopDue = stopSeen || (logRec_.Kind == LogKind::Stop && DueAt(logRec_, plant()));
    const bool closedAtOnce = stopDue && plant().Clock != trialEnd;
    if (closedAtOnce) runEnd = RunEnd::ByStopRecord;
    controls.PlayEnabled = !closedAtOnce;
    controls.StopEnabled = !closedAtOnce;
    engine.PumpsInUse_Display();
    Notify();
}

void TrialSession::ReplayStep()
{
    PlantState& p = plant();
    while (DueAt(logRec_, p)) {
        if (logRec_.Kind == LogKind::Stop) {
            // A STOP on the end time is left to the deadline checkpoint of the
            // next tick, which ends the replay as it ended the trial.
            if (ClockTime{p.Clock} != trialEnd) {
                StopTimer();
                runEnd = RunEnd::ByStopRecord;
                ShowReplayEnded();
            }
        } else {
            ApplyRecord(logRec_);
        }
        logRec_ = replayLog_.ReadLogRecord();
    }
}

// The console of a replay that has ended: Play shown but disabled, Pause
// hidden, Stop to load the trial again.
void TrialSession::ShowReplayEnded()
{
    controls.PauseEnabled = false;
    controls.PauseVisible = false;
    controls.PlayVisible = true;
    controls.PlayEnabled = false;
    controls.StopEnabled = true;
    Notify();
}

void TrialSession::PlayReplay()
{
    plant().TrialLogOn = false;
    StartTimer();
    controls.PlayVisible = false;
    controls.PauseVisible = true;
    controls.PauseEnabled = true;
    Notify();
}

void TrialSession::PauseReplay()
{
    StopTimer();
    controls.PlayVisible = true;
    controls.PauseVisible = false;
    Notify();
}

void TrialSession::RestartReplay()
{
    engine.ResetCleaningQueue();
    StopTimer();
    LoadReplay();
}

}  // namespace kestu
