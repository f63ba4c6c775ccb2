#include "trials/log_reader.h"

#include <algorithm>

#include "trials/file_sink.h"
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

// One line from `at` without its CR LF (or LF); `at` moves past it. A last
// line without its line end is the tail of a record cut off by a crash or a full disk.
LineRead NextLine(std::string_view text, std::size_t& at, std::string_view& line)
{
    if (at >= text.size()) return LineRead::End;
    const std::size_t lf = text.find('\n', at);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    if (end - at > MaxLineLength) return LineRead::TooLong;
    if (lf == std::string_view::npos) return LineRead::Unterminated;
    line = text.substr(at, end - at);
    at = lf + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
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

Status TrialLogReader::Open(const std::string& path)
{
    Close();
    name_ = path;
    const auto read = ReadWholeFile(path, MaxTrialLogBytes);
    if (!read) return Fail(0, "the trial log cannot be opened (" + read.error() + ")");
    return Scan(read.value());
}

Status TrialLogReader::OpenText(std::string name, std::string_view text)
{
    Close();
    name_ = std::move(name);
    return Scan(text);
}

Status TrialLogReader::Scan(std::string_view text)
{
    std::size_t at = 0;
    std::string_view line;
    std::size_t lineNo = 0;
    ClockTime floor{0, 0};
    std::optional<ClockTime> lastSave;
    bool afterRestore = false;
    LoggedRecord record;
    for (;;) {
        LineRead got = NextLine(text, at, line);
        ++lineNo;
        if (got == LineRead::End) break;
        if (got == LineRead::TooLong) return Fail(lineNo, "the line is too long to be part of a trial log");
        if (got == LineRead::Unterminated) return Fail(lineNo, "the log ends inside a record (the line is cut off)");
        std::string problem = ParseHeaderLine(line, record);
        if (!problem.empty()) return Fail(lineNo, problem);

        const ClockTime stamped = record.At;
        const ClockTime allowed = afterRestore && lastSave ? std::min(floor, *lastSave) : floor;
        if (stamped < allowed)
            return Fail(lineNo, "the record at " + FormatClock(stamped) + " is earlier than the one before it (" +
                                    FormatClock(floor) + ")");
        floor = stamped;
        afterRestore = record.Kind == LogKind::Restore;
        if (record.Kind == LogKind::Save) lastSave = stamped;

        got = NextLine(text, at, line);
        ++lineNo;
        if (got == LineRead::End) return Fail(lineNo - 1, "the record has no state line");
        if (got == LineRead::TooLong) return Fail(lineNo, "the line is too long to be part of a trial log");
        if (got == LineRead::Unterminated) return Fail(lineNo, "the log ends inside a record (the line is cut off)");
        problem = ParseStateLine(line, record);
        if (!problem.empty()) return Fail(lineNo, problem);
        records_.push_back(record);
    }
    if (records_.empty()) return Fail(0, "the log is empty");
    open_ = true;
    return Ok();
}

Status TrialLogReader::CheckEndTime(ClockTime end)
{
    if (!open_) return Fail(0, "no trial log is open");
    for (std::size_t k = 0; k < records_.size(); ++k) {
        if (records_[k].At > end)
            return Fail(2 * k + 1, "the record at " + FormatClock(records_[k].At) + " lies after the trial's end time " +
                                       FormatClock(end));
    }
    return Ok();
}

void TrialLogReader::Close()
{
    open_ = false;
    records_.clear();
    read_ = 0;
}

Status TrialLogReader::Fail(std::size_t line, const std::string& what)
{
    Close();
    std::string message = ForMessage(name_, 1000);
    if (line > 0) message += ", line " + std::to_string(line);
    message += ": " + what;
    return Fault{std::move(message), name_, line > 0 ? std::optional<std::size_t>(line) : std::nullopt, {}};
}

LogRecord TrialLogReader::ReadLogRecord()
{
    if (AtEnd()) return LogRecord{};
    return records_[read_++];
}

std::optional<LoggedRecord> TrialLogReader::ReadRecordWithState()
{
    if (AtEnd()) return std::nullopt;
    return records_[read_++];
}

}  // namespace kestu
