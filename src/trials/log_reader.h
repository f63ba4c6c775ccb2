#pragma once

#include <fstream>
#include <string>

#include "scenario/deadlines.h"  // ClockTime

namespace kestu {

// The header of one trial-log record.
struct LogRecord {
    int Minutes = -1;
    int Seconds = -1;
    std::string Kind;
    int Switch = 0;
};

// Reads a trial log record by record, as the replay consumes it. Opening
// reads the whole file once and checks every line, so a bad line is found
// before anything is replayed; records are then read from the file as they
// are needed, so memory does not grow with the file.
class TrialLogReader {
public:
    // False when the file cannot be opened, is empty, holds a line that
    // cannot be read, ends inside a record, or has a record earlier than the
    // one before it (except records after a restore, which may go back to
    // the time of the save); Error() names the file and line.
    bool Open(const std::string& path);
    // False (the reader closed, Error() naming the line) when a record is
    // stamped after the trial's end time.
    bool CheckEndTime(ClockTime end);
    void Close();
    bool IsOpen() const { return open_; }

    // True when no record is left.
    bool AtEnd() const { return !open_ || read_ >= count_; }

    // The next record. At the end the record carries -1/-1.
    LogRecord ReadLogRecord();

    const std::string& Error() const { return error_; }
    std::size_t RecordCount() const { return count_; }

private:
    bool Fail(std::size_t line, const std::string& what);

    bool open_ = false;
    std::ifstream in_;
    std::size_t count_ = 0;
    std::size_t read_ = 0;
    std::string path_;
    std::string error_;
};

// Parses a header line such as 5,23,"ON",17; false when it is malformed.
bool ParseHeaderLine(const std::string& line, LogRecord& record);

// Checks a state line: 46 triples "switch,pump state,water" for the switches
// 0..45 in order. Returns what is wrong, empty when it is sound.
std::string CheckStateLine(const std::string& line);

}  // namespace kestu
