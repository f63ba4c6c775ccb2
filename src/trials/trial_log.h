#pragma once

#include <string>
#include <string_view>

#include "engine/switch_record_sink.h"

namespace kestu {

// The file name of a participant's trial log: the User ID, ".", the trial number.
std::string TrialLogFileName(std::string_view userId, int trialNum);

// Record text, shared by the writer and the tests: a header line and a state
// line, each ended by CR LF.
void AppendHeaderLine(std::string& out, int minutes, int seconds, std::string_view kind, int switchNum);
void AppendStateLine(std::string& out, const PlantState& plant);

// The trial log being written. Every record goes to the file in one write as
// soon as it is complete, so a crash loses at most the record being written.
class TrialLogWriter : public SwitchRecordSink {
public:
    TrialLogWriter() = default;
    TrialLogWriter(const TrialLogWriter&) = delete;
    TrialLogWriter& operator=(const TrialLogWriter&) = delete;
    ~TrialLogWriter() override { Close(); }

    // Creates (or empties) the file; false when it cannot be created.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    // False once a write has failed (disk full, file gone).
    bool Healthy() const { return healthy_; }

    // A control record ("STOP", "FF", "FFR") stamped with the plant's clock.
    void AppendLogMark(const PlantState& plant, std::string_view kind);
    void WriteSwitchRecord(const PlantState& plant, SwitchStatus status, int switchNum) override;

private:
    void WriteRecord(const PlantState& plant, int minutes, int seconds, std::string_view kind, int switchNum);

    int fd_ = -1;
    bool healthy_ = true;
    std::string path_;
    std::string buffer_;
};

}  // namespace kestu
