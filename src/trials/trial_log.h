#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/plant_state.h"
#include "trials/file_sink.h"

namespace kestu {

// The file name of a participant's trial log: the User ID, ".", the trial number.
std::string TrialLogFileName(std::string_view userId, int trialNum);

// Record text, shared by the writer and the tests: a header line and a state
// line, each ended by CR LF.
void AppendHeaderLine(std::string& out, ClockTime at, std::string_view kind, int switchNum);
void AppendStateLine(std::string& out, const PlantState& plant);

// The trial log being written. Every record goes to the file in one write as
// soon as it is complete, so a crash loses at most the record being written.
// A record that cannot be written is taken back off the file, so the log
// always ends on a whole record, and the writer reports the fault once.
class TrialLogWriter {
public:
    TrialLogWriter() = default;
    TrialLogWriter(const TrialLogWriter&) = delete;
    TrialLogWriter& operator=(const TrialLogWriter&) = delete;
    ~TrialLogWriter() { Close(); }

    // Creates the file; never opens one that exists. On failure returns the
    // system's reason, empty on success.
    Status Create(const std::string& path);
    // Writes the file's data to the disk and closes it; false when that failed.
    bool Finish();
    void Close();
    // Closes the file and removes it: a trial that never started leaves no log.
    void Discard();
    bool IsOpen() const { return sink_ != nullptr; }
    const std::string& Path() const { return path_; }
    // False once a write has failed (disk full, file gone); FailReason() says why.
    bool Healthy() const { return failReason_.empty(); }
    const std::string& FailReason() const { return failReason_; }

    // Runs once, at the first write that fails, with the system's reason.
    std::function<void(const std::string& reason)> onFailure;
    // Tests put a failing sink in front of the file.
    SinkWrapper wrapSink;

    // A control record ("STOP", "FF", "FFR") stamped with the plant's clock.
    void AppendLogMark(const PlantState& plant, LogKind kind);
    // A click's record: its status, its switch and the plant it left.
    void WriteSwitchRecord(const PlantState& plant, SwitchStatus status, int switchNum);

private:
    void WriteRecord(const PlantState& plant, std::string_view kind, int switchNum);
    void Failed(const std::string& reason);

    std::unique_ptr<FileSink> sink_;
    long long written_ = 0;  // bytes of whole records in the file
    std::string failReason_;
    std::string path_;
    std::string buffer_;
};

}  // namespace kestu
