#pragma once

#include <string>
#include <vector>

namespace kestu {

// The header of one trial-log record.
struct LogRecord {
    int Minutes = -1;
    int Seconds = -1;
    std::string Kind;
    int Switch = 0;
};

// Reads a trial log record by record, as the replay consumes it. The whole
// file is read and checked when it is opened, so a bad line is found before
// anything is replayed.
class TrialLogReader {
public:
    // False when the file cannot be opened, is empty or holds a line that
    // cannot be read; Error() says which.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return open_; }

    // True when no record is left.
    bool AtEnd() const { return next_ >= records_.size(); }

    // The next record. At the end the record carries -1/-1.
    LogRecord ReadLogRecord();

    const std::string& Error() const { return error_; }
    std::size_t RecordCount() const { return records_.size(); }

private:
    bool Fail(std::size_t line, const std::string& what);

    bool open_ = false;
    std::vector<LogRecord> records_;
    std::size_t next_ = 0;
    std::string path_;
    std::string error_;
};

// Parses a header line such as 5,23,"ON",17; false when it is malformed.
bool ParseHeaderLine(const std::string& line, LogRecord& record);

}  // namespace kestu
