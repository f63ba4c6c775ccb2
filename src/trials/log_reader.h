#pragma once

#include <array>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "engine/constants.h"
#include "engine/switch_status.h"
#include "engine/clock_time.h"
#include "engine/result.h"

namespace kestu {

// The header of one trial-log record: when, what, and which switch (0 for
// the marks). The record past a log's end reads -1:-1, a STOP due at no time.
struct LogRecord {
    ClockTime At{-1, -1};
    LogKind Kind = LogKind::Stop;
    int Switch = 0;
};

// A record with the values of its state line: each tank's water and each
// switch's pump state as the log holds them (water to one decimal).
struct LoggedRecord : LogRecord {
    std::array<double, TankCount> Water{};
    std::array<int, SwitchCount> PumpState{};
};

// Reads a trial log record by record. Opening reads the whole file once and
// checks every line, so a bad line is found before anything is replayed or
// written out; records are then read from the file as they are needed, so
// memory does not grow with the file. Messages read "<file>, line N: what",
// and a bad field is named by its number and meaning:
// "<file>, line 2: field 9 (water of switch 2): "x.5" is not a number".
class TrialLogReader {
public:
    // A fault when the file cannot be opened, is empty, holds a line that
    // cannot be read, ends inside a record, or has a record earlier than the
    // one before it (except records after a restore, which may go back to
    // the time of the save); it names the file and the line.
    Status Open(const std::string& path);
    // A fault (and the reader closed) when a record is stamped after the
    // trial's end time.
    Status CheckEndTime(ClockTime end);
    void Close();
    bool IsOpen() const { return open_; }

    // True when no record is left.
    bool AtEnd() const { return !open_ || read_ >= count_; }

    // The next record's header; the replay needs no more. At the end the
    // record carries -1/-1.
    LogRecord ReadLogRecord();
    // The next record with its state line's values; nothing at the end, or
    // when the file has changed since it was opened (Error() then says so).
    std::optional<LoggedRecord> ReadRecordWithState();

    const std::string& Error() const { return error_; }
    std::size_t RecordCount() const { return count_; }

private:
    bool Scan(const std::string& path);
    bool ReadNext(LogRecord& header, LoggedRecord* withState);
    bool Fail(std::size_t line, const std::string& what);
    Status Outcome(bool ok) const;

    bool open_ = false;
    std::ifstream in_;
    std::size_t count_ = 0;
    std::size_t read_ = 0;
    std::string path_;
    std::string error_;
    std::size_t errorLine_ = 0;
};

// Reads a header line such as 5,23,"ON",17 into `record`. Returns what is
// wrong with the line, naming the field ("field 2 (second): "61" is not a
// whole number 0..59"), and nothing when it is a sound header.
std::string ParseHeaderLine(std::string_view line, LogRecord& record);

// Reads a state line into record.Water and record.PumpState: 46 triples
// "switch,pump state,water" for the switches 0..45 in order, the two
// switches of a tank giving the same water. Returns what is wrong with the
// line, naming the field, and nothing when it is a sound state line.
std::string ParseStateLine(std::string_view line, LoggedRecord& record);

}  // namespace kestu
