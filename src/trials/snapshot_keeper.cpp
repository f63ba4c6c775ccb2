#include "trials/file_sink.h"
#include "trials/number_text.h"
#include "trials/snapshot.h"
#include "trials/snapshot_keeper.h"

namespace kestu {

void SnapshotKeeper::Forget()
{
    s_.snapshotPending = false;
    saved_.reset();
    lastSaved_.reset();
}

std::string SnapshotKeeper::Path() const
{
    const std::string name = SnapshotFileName(s_.participant.UserID);
    return s_.ProgramPath(name);
}

void SnapshotKeeper::SaveOrRestore()
{
    if (s_.snapshotPending)
        Restore();
    else
        Save();
    s_.Notify();
}

void SnapshotKeeper::Save()
{
    std::optional<ClockTime> nextArrival;  // none once the schedule has run out
    const Engine& engine = s_.engine;
    if (engine.NextArrivalRow() < engine.Arrivals().size()) nextArrival = engine.Arrivals()[engine.NextArrivalRow()].At;
    const std::string text = SnapshotText(TakeSnapshot(s_.plant(), nextArrival, s_.missed.Total));
    // The file first: a save that failed is neither logged nor pending, so
    // the next press saves again. A replay keeps its snapshot in memory and
    // never writes the participant's file.
    if (!s_.participant.ReplayMode) {
        const std::string path = Path();
        const Status written = ReplaceFile(path, text, sinkWrap);
        if (!written) {
            saved_.reset();
            s_.EmitFault({.What = FaultKind::SnapshotNotWritten, .File = path, .Reason = written.error()});
            return;
        }
    }
    saved_ = text;
    lastSaved_ = text;
    if (!s_.participant.ReplayMode && s_.log.IsOpen()) s_.log.AppendLogMark(s_.plant(), LogKind::Save);
    s_.snapshotPending = true;
    s_.Emit(TrialEventKind::SnapshotSaved);
}

// Only the snapshot this trial saved: a file changed or replaced since
// (another trial's, a copy) would put a foreign plant back.
Result<Snapshot> SnapshotKeeper::ReadSaved(const std::string& path, FaultKind& what) const
{
    what = FaultKind::SnapshotUnreadable;
    if (s_.participant.ReplayMode && saved_) return LoadSnapshotText(path, *saved_);
    const Result<std::string> text = ReadSnapshotText(path);
    if (!text) return text.fault();
    if (!saved_ || text.value() != *saved_) {
        what = FaultKind::SnapshotNotOurs;
        return Result<Snapshot>::Fail(path);
    }
    return LoadSnapshotText(path, text.value());
}

// The whole file is read and checked first; a bad file changes nothing.
bool SnapshotKeeper::Restore()
{
    const std::string path = Path();
    FaultKind what{};
    const Result<Snapshot> snapshot = ReadSaved(path, what);
    if (!snapshot) {
        s_.EmitFault({.What = what, .File = path, .Reason = snapshot.error()});
        return false;
    }
    if (!s_.participant.ReplayMode && s_.log.IsOpen()) s_.log.AppendLogMark(s_.plant(), LogKind::Restore);
    // Told at the press's clock, as the log records it, with the total put back.
    TrialEvent restored = s_.Event(TrialEventKind::SnapshotRestored);
    s_.snapshotPending = false;
    saved_.reset();

    PlantState& p = s_.plant();
    const Snapshot& s = snapshot.value();
    p.Clock = s.Clock;
    p.PumpsAllocated = s.PumpsAllocated;
    p.PumpsReleasing = s.PumpsReleasing;
    p.CleaningQueue = s.CleaningQueue;
    for (int t = 0; t < TankCount; ++t) {
        TankState& tank = p.Tanks[t];
        tank.Water = s.Tanks[t].Water;
        tank.OutCount = s.Tanks[t].OutCount;
        tank.OutTo = s.Tanks[t].OutTo;
        tank.OutShare = s.Tanks[t].OutShare;
    }
    p.PumpState = s.PumpState;
    p.PumpHandover = s.PumpHandover;
    s_.missed.Total = s.MissedTotal;

    // Step back from the current arrival row to the one that was due at the
    // snapshot, comparing times only; never past the first row.
    Engine& engine = s_.engine;
    const auto& rows = engine.Arrivals();
    std::size_t row = engine.NextArrivalRow();
    if (!s.NextArrival) {
        row = rows.size();
    } else {
        while (row > 0 && (row >= rows.size() || rows[row].At != *s.NextArrival)) --row;
    }
    engine.SetNextArrivalRow(row);

    RedrawPlant();
    if (s_.Ticking() && s_.host.restartTimer) s_.host.restartTimer();
    restored.MissedTotal = s_.missed.Total;
    restored.RestoredTo = s_.plant().Clock;
    s_.Emit(restored);
    return true;
}

// Shows the restored plant; status changes made here are not clicks, so
// nothing of it reaches the trial log.
void SnapshotKeeper::RedrawPlant()
{
    Engine& engine = s_.engine;
    PlantState& p = engine.plant;
    Display& display = engine.display();
    for (int t = 0; t < TankCount; ++t) display.FillTank(t, WholeBuckets(p.Tanks[t].Water));
    for (int i = 0; i < SwitchCount; ++i) {
        const int state = p.PumpState[i];
        if (state > 0) {
            engine.SetSwitchStatus(i, SwitchStatus::On);
            display.PipeWater(TankOf(i), true);
        } else if (state == 0) {
            engine.SetSwitchStatus(i, SwitchStatus::Off);
            display.PipeWater(TankOf(i), false);
        } else {
            // A cleaning switch starts its cleaning afresh.
            engine.SetSwitchStatus(i, SwitchStatus::Clean);
            display.PipeWater(TankOf(i), false);
        }
    }
    for (int i = 0; i < SwitchCount; ++i)
        if (p.PumpState[i] > 0) display.PipeWater(TankOf(i), true);
    for (int i = 0; i < SwitchCount; ++i)
        if (p.PumpHandover[i] != -1) engine.SetSwitchStatus(p.PumpHandover[i], SwitchStatus::Queued);
    display.ShowClock(p.Clock);
}

}  // namespace kestu
