#pragma once

#include <optional>
#include <string>

#include "trials/file_sink.h"
#include "trials/session_state.h"
#include "trials/snapshot.h"

namespace kestu {

// The participant's feedforward snapshot of a running trial: the one button
// saves the plant to USERID.DAT, and restores it while a snapshot is held.
// Only the exact text this trial saved is ever put back.
class SnapshotKeeper {
public:
    explicit SnapshotKeeper(SessionState& state) : s_(state) {}

    // Saves when no snapshot is held, restores when one is.
    void SaveOrRestore();
    // A new trial holds no snapshot.
    void Forget();
    std::string Path() const;

    // Tests put a failing sink in front of the snapshot file.
    SinkWrapper sinkWrap;

private:
    void Save();
    bool Restore();
    Result<Snapshot> ReadSaved(const std::string& path) const;
    void RedrawPlant();

    SessionState& s_;
    std::optional<std::string> saved_;  // the text of the snapshot this trial saved
};

}  // namespace kestu
