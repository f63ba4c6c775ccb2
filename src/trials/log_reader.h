#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// A trial log as one text: its name for messages (the file's path, or what
// the log was read from) and its bytes, read whole and once.
struct TrialLogText {
    std::string name;
    std::string text;
};

// No trial's log comes near this; a larger file is not read.
inline constexpr long long MaxTrialLogBytes = 64LL << 20;

// Reads a trial log and hands out its records. Opening checks every line of
// the text and keeps the records in memory (a log is at most a few hundred
// kilobytes), so a bad line is found before anything is replayed or written
// out, and the file is read once, whatever is done with the records later.
// Faults read "<file>, line N: what", and a bad field is named by its number
// and meaning: "<file>, line 2: field 9 (water of switch 2): "x.5" is not a number".
class TrialLogReader {
public:
    // Reads the file whole, once, and opens its text as OpenText does; a
    // fault when the file cannot be read.
    Status Open(const std::string& path);
    // Opens the log `name` from its text. A fault when the text is empty,
    // holds a line that cannot be read, ends inside a record, or has a record
    // earlier than the one before it (except records after a restore, which
    // may go back to the time of the save); it names the log and the line.
    Status OpenText(std::string name, std::string_view text);
    // A fault (and the reader closed) when a record is stamped after the
    // trial's end time.
    Status CheckEndTime(ClockTime end);
    void Close();
    bool IsOpen() const { return open_; }

    // Back to the first record, to read the log again.
    void Rewind() { read_ = 0; }
    // True when no record is left.
    bool AtEnd() const { return !open_ || read_ >= records_.size(); }

    // The next record's header; the replay needs no more. At the end the
    // record carries -1/-1.
    LogRecord ReadLogRecord();
    // The next record with its state line's values; nothing at the end.
    std::optional<LoggedRecord> ReadRecordWithState();

    std::size_t RecordCount() const { return records_.size(); }
    // Every record of the open log, in order; empty when none is open.
    const std::vector<LoggedRecord>& Records() const { return records_; }

private:
    Status Scan(std::string_view text);
    Status Fail(std::size_t line, const std::string& what);

    bool open_ = false;
    std::vector<LoggedRecord> records_;
    std::size_t read_ = 0;
    std::string name_;
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
