#include "trials/log_reader.h"

#include <algorithm>

#include "trials/message_text.h"
#include "trials/number_text.h"

namespace kestu {

namespace {

// No line a trial log holds comes near this; a longer one is not a log.
constexpr std::size_t MaxLineLength = 4096;

constexpr std::size_t HeaderFields = 4;
constexpr std::size_t StateFields = 3 * SwitchCount;
constexpr long long MaxMinutes = 1000000;
// A pump state is 1 while the switch pumps, 0 while it rests, and minus the
// cleaning cycles left while it is cleaned.
constexpr long long MinPumpState = -1000000;

enum class LineRead { Line, End, TooLong, Unterminated };

// One line without its CR LF (or LF). A last line without its line end is
// the tail of a record cut off by a crash or a full disk.
LineRead NextLine(std::istream& in, std::string& line)
{
    line.clear();
    std::streambuf* buffer = in.rdbuf();
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) return line.empty() ? LineRead::End : LineRead::Unterminated;
        if (c == '\n') break;
        if (line.size() == MaxLineLength) return LineRead::TooLong;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return LineRead::Line;
}



std::size_t FieldCount(std::string_view line) { return std::count(line.begin(), line.end(), ',') + 1; }

// The text up to the next comma; `rest` moves past it.
std::string_view TakeField(std::string_view& rest)
{
    const auto comma = rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    return field;
}

std::string FieldsWhere(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " field" : " fields") + " where ";
}

// `field` counts from 0; people count the fields of a line from 1.
std::string FieldProblem(std::size_t field, const std::string& name, std::string_view text, const std::string& what)
{
    return "field " + std::to_string(field + 1) + " (" + name + "): \"" + ForMessage(text, 40) + "\" " + what;
}

std::optional<long long> Whole(std::string_view text, long long low, long long high)
{
    const auto value = ParseInteger(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

std::string Range(long long low, long long high) { return std::to_string(low) + ".." + std::to_string(high); }

const std::string& KindWords()
{
    static const std::string words = [] {
        std::string text;
        for (const LogKindWord& k : LogKindWords) text += (text.empty() ? "" : ", ") + std::string(k.word);
        return text;
    }();
    return words;
}

}  // namespace

std::string ParseHeaderLine(std::string_view line, LogRecord& record)
{
    const std::size_t count = FieldCount(line);
    if (count != HeaderFields)
        return "not a record header: " + FieldsWhere(count) + "minute,second,\"KIND\",switch has 4";
    std::string_view rest = line;
    const std::string_view minuteText = TakeField(rest);
    const std::string_view secondText = TakeField(rest);
    const std::string_view quoted = TakeField(rest);
    const std::string_view switchText = rest;

    const auto minute = Whole(minuteText, 0, MaxMinutes);
    if (!minute) return FieldProblem(0, "minute", minuteText, "is not a whole number " + Range(0, MaxMinutes));
    const auto second = Whole(secondText, 0, 59);
    if (!second) return FieldProblem(1, "second", secondText, "is not a whole number 0..59");
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return FieldProblem(2, "kind", quoted, "is not a kind in double quotes");
    const std::string_view word = quoted.substr(1, quoted.size() - 2);
    const auto kind = LogKindFromWord(word);
    if (!kind) return FieldProblem(2, "kind", word, "is none of " + KindWords());
    const auto sw = Whole(switchText, 0, SwitchCount - 1);
    if (!sw) return FieldProblem(3, "switch", switchText, "is not a switch number " + Range(0, SwitchCount - 1));

    record.At = {static_cast<int>(*minute), static_cast<int>(*second)};
    record.Kind = *kind;
    record.Switch = static_cast<int>(*sw);
    return {};
}

std::string ParseStateLine(std::string_view line, LoggedRecord& record)
{
    const std::size_t count = FieldCount(line);
    if (count != StateFields)
        return "not a state line: " + FieldsWhere(count) + "a state line has " + std::to_string(StateFields);
    std::array<double, TankCount> water{};
    std::array<int, SwitchCount> pumpState{};
    std::string_view rest = line;
    std::string_view partnerWater;  // the text of the tank's first switch's water
    for (int s = 0; s < SwitchCount; ++s) {
        const std::size_t at = 3 * static_cast<std::size_t>(s);
        const std::string which = " of switch " + std::to_string(s);
        const std::string_view numberText = TakeField(rest);
        const std::string_view pumpText = TakeField(rest);
        const std::string_view waterText = TakeField(rest);

        if (Whole(numberText, s, s) != s)
            return FieldProblem(at, "switch number", numberText, "should be " + std::to_string(s));
        const auto pump = Whole(pumpText, MinPumpState, 1);
        if (!pump) {
            return FieldProblem(at + 1, "pump state" + which, pumpText,
                                "is not a whole number " + Range(MinPumpState, 1));
        }
        const auto amount = ParseNumber(waterText);
        if (!amount) return FieldProblem(at + 2, "water" + which, waterText, "is not a number");
        if (!WaterFits(*amount))
            return FieldProblem(at + 2, "water" + which, waterText,
                                "is outside -" + FormatNumber(MaxWater) + ".." + FormatNumber(MaxWater));
        // Both switches of a tank carry its water; a line where they differ
        // does not say what the tank held.
        if (s % 2 == 1 && *amount != water[TankOf(s)]) {
            return FieldProblem(at + 2, "water" + which, waterText,
                                "differs from \"" + ForMessage(partnerWater, 40) + "\", the water of switch " +
                                    std::to_string(s - 1) + " of the same tank");
        }
        pumpState[s] = static_cast<int>(*pump);
        water[TankOf(s)] = *amount;
        partnerWater = waterText;
    }
    record.Water = water;
    record.PumpState = pumpState;
    return {};
}

Status TrialLogReader::Open(const std::string& path) { return Outcome(Scan(path)); }

Status TrialLogReader::Outcome(bool ok) const
{
    if (ok) return Ok();
    return Fault{error_, path_, errorLine_ > 0 ? std::optional<std::size_t>(errorLine_) : std::nullopt, {}};
}

bool TrialLogReader::Scan(const std::string& path)
{
    Close();
    path_ = path;
    in_.open(path, std::ios::binary);
    if (!in_) return Fail(0, "the trial log cannot be opened");

    std::string line;
    std::size_t lineNo = 0;
    ClockTime floor{0, 0};
    std::optional<ClockTime> lastSave;
    bool afterRestore = false;
    LoggedRecord record;
    for (;;) {
        LineRead got = NextLine(in_, line);
        ++lineNo;
        if (got == LineRead::End) break;
        if (got == LineRead::TooLong) return Fail(lineNo, "the line is too long to be part of a trial log");
        if (got == LineRead::Unterminated) return Fail(lineNo, "the log ends inside a record (the line is cut off)");
        std::string problem = ParseHeaderLine(line, record);
        if (!problem.empty()) return Fail(lineNo, problem);

        const ClockTime at = record.At;
        const ClockTime allowed = afterRestore && lastSave ? std::min(floor, *lastSave) : floor;
        if (at < allowed)
            return Fail(lineNo, "the record at " + FormatClock(at) + " is earlier than the one before it (" +
                                    FormatClock(floor) + ")");
        floor = at;
        afterRestore = record.Kind == LogKind::Restore;
        if (record.Kind == LogKind::Save) lastSave = at;

        got = NextLine(in_, line);
        ++lineNo;
        if (got == LineRead::End) return Fail(lineNo - 1, "the record has no state line");
        if (got == LineRead::TooLong) return Fail(lineNo, "the line is too long to be part of a trial log");
        if (got == LineRead::Unterminated) return Fail(lineNo, "the log ends inside a record (the line is cut off)");
        problem = ParseStateLine(line, record);
        if (!problem.empty()) return Fail(lineNo, problem);
        ++count_;
    }
    if (count_ == 0) return Fail(0, "the log is empty");
    in_.clear();
    in_.seekg(0);
    if (!in_) return Fail(0, "the file cannot be read again");
    open_ = true;
    return true;
}

Status TrialLogReader::CheckEndTime(ClockTime end)
{
    if (!open_) return Outcome(false);
    std::ifstream again(path_, std::ios::binary);
    std::string line;
    for (std::size_t k = 0; k < count_; ++k) {
        LogRecord record;
        if (NextLine(again, line) != LineRead::Line || !ParseHeaderLine(line, record).empty())
            return Outcome(Fail(2 * k + 1, "the file changed while it was being read"));
        if (record.At > end)
            return Outcome(Fail(2 * k + 1, "the record at " + FormatClock(record.At) +
                                               " lies after the trial's end time " + FormatClock(end)));
        NextLine(again, line);
    }
    return Ok();
}

void TrialLogReader::Close()
{
    open_ = false;
    if (in_.is_open()) in_.close();
    in_.clear();
    count_ = 0;
    read_ = 0;
    error_.clear();
    errorLine_ = 0;
}

bool TrialLogReader::Fail(std::size_t line, const std::string& what)
{
    Close();
    error_ = ForMessage(path_, 1000);
    errorLine_ = line;
    if (line > 0) error_ += ", line " + std::to_string(line);
    error_ += ": " + what;
    return false;
}

// Each record was checked when the file was opened, so a line that no
// longer reads means the file was changed since: reading ends there.
bool TrialLogReader::ReadNext(LogRecord& header, LoggedRecord* withState)
{
    if (AtEnd()) return false;
    const std::size_t headerLine = 2 * read_ + 1;
    std::string line;
    bool sound = NextLine(in_, line) == LineRead::Line && ParseHeaderLine(line, header).empty();
    if (sound) {
        sound = NextLine(in_, line) == LineRead::Line;
        if (sound && withState) sound = ParseStateLine(line, *withState).empty();
    }
    if (!sound) {
        read_ = count_;
        error_ = ForMessage(path_, 1000) + ", line " + std::to_string(headerLine) +
                 ": the file changed while it was being read";
        return false;
    }
    ++read_;
    return true;
}

LogRecord TrialLogReader::ReadLogRecord()
{
    LogRecord record;
    if (!ReadNext(record, nullptr)) return LogRecord{};
    return record;
}

std::optional<LoggedRecord> TrialLogReader::ReadRecordWithState()
{
    LoggedRecord record;
    if (!ReadNext(record, &record)) return std::nullopt;
    return record;
}

}  // namespace kestu
