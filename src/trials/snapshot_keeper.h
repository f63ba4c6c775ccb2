#pragma once

#include <optional>
#include <string>

#include "trials/file_sink.h"
#include "trials/session_state.h"
#include "trials/snapshot.h"

namespace kestu {

// The participant's feedforward snapshot of a running trial: the one button
// saves the plant to USERID.DAT, and restores it while a snapshot is held.
// Only the exact text this trial saved is ever put back. A replay holds its
// snapshot in memory and leaves the participant's file alone.
class SnapshotKeeper {
public:
    explicit SnapshotKeeper(SessionState& state) : s_(state) {}

    // Saves when no snapshot is held, restores when one is.
    void SaveOrRestore();
    // A new trial holds no snapshot.
    void Forget();
    std::string Path() const;
    // The text of the last snapshot this trial saved, held or already put back.
    const std::optional<std::string>& LastSaved() const { return lastSaved_; }

    // Tests put a failing sink in front of the snapshot file.
    SinkWrapper sinkWrap;

private:
    void Save();
    bool Restore();
    // The snapshot this trial saved; `what` says which fault a failure is.
    Result<Snapshot> ReadSaved(const std::string& path, FaultKind& what) const;
    void RedrawPlant();

    SessionState& s_;
    std::optional<std::string> saved_;  // the text of the snapshot this trial saved
    std::optional<std::string> lastSaved_;
};

}  // namespace kestu
