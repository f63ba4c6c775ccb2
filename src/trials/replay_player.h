#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "trials/log_reader.h"
#include "trials/session_state.h"

namespace kestu {

class SnapshotKeeper;
class TrialLifecycle;

// Replays a participant's trial from its log: the trial is set up as it was,
// and each record is applied at the tick it names, clicks and snapshot
// presses alike, so the plant goes through the very states it went through.
// A log with no STOP that stops short of the end time is replayed to its
// last record and no further; runEnd is then RunEnd::LogCutOff.
class ReplayPlayer {
public:
    ReplayPlayer(SessionState& state, TrialLifecycle& trial, SnapshotKeeper& snapshots);

    // Loads the chosen trial's log from the program's folder; with no trial
    // chosen the console just waits.
    void Load();
    // Loads the log at `logPath` as trial `trialNum` of the participant.
    void LoadFrom(const std::string& logPath, int trialNum);
    // Loads a log already read, as trial `trialNum` of the participant.
    void LoadFrom(const TrialLogText& log, int trialNum);
    // Loads a log already opened and checked, as trial `trialNum`.
    void LoadReader(TrialLogReader reader, int trialNum);
    // The loaded log, from its start.
    TrialLogReader LoadedLog() const
    {
        TrialLogReader copy = log_;
        copy.Rewind();
        return copy;
    }
    int LoadedTrial() const { return loadedTrial_; }
    // Applies the records due at this tick (the tick's replay step).
    void Step();
    void Play();
    void Pause();
    // Stop: the replay starts again from its setup.
    void Restart();
    // The loaded log from its start again, as its load left it, with nothing
    // read, written or drawn; false when no log is loaded.
    bool Rewind();
    void Close() { log_.Close(); }
    bool Loaded() const { return log_.IsOpen(); }

    std::optional<int> selection;      // the trial chosen
    // Called once the replay has acted on a record (a STOP included), with the
    // plant as the record left it; tools watch the replay through it.
    std::function<void(const LogRecord&, const PlantState&)> recordApplied;

private:
    void LoadOpened(TrialLogReader& reader, const Status& opened, int trialNum);
    void Apply(const LogRecord& record);
    void Applied(const LogRecord& record);
    void Idle();
    void Refuse(int trialNum, const std::string& why);
    void ApplySetupRecords();
    // Ends the replay at the record just applied.
    void EndHere(RunEnd how);

    SessionState& s_;
    TrialLifecycle& trial_;
    SnapshotKeeper& snapshots_;
    TrialLogReader log_;
    LogRecord next_;
    bool started_ = false;  // the loaded replay has been played
    int loadedTrial_ = 0;
};

}  // namespace kestu
