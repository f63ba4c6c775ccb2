#include "trials/log_reader.h"

#include <algorithm>
#include <optional>

#include "engine/constants.h"
#include "trials/message_text.h"
#include "trials/number_text.h"

namespace kestu {

namespace {

// No line a trial log holds comes near this; a longer one is not a log.
constexpr std::size_t MaxLineLength = 4096;

bool KnownKind(const std::string& kind)
{
    static const char* const kinds[] = {"ON", "CLEAN", "OFF", "QUEUED", "STOP", "FF", "FFR"};
    for (const char* k : kinds)
        if (kind == k) return true;
    return false;
}

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

ClockTime TimeOf(const LogRecord& record) { return {record.Minutes, record.Seconds}; }

std::string TimeText(ClockTime t) { return FormatClock(t.Minutes, t.Seconds); }

}  // namespace

bool ParseHeaderLine(const std::string& line, LogRecord& record)
{
    const auto c1 = line.find(',');
    if (c1 == std::string::npos) return false;
    const auto c2 = line.find(',', c1 + 1);
    if (c2 == std::string::npos || c2 + 1 >= line.size() || line[c2 + 1] != '"') return false;
    const auto q2 = line.find('"', c2 + 2);
    if (q2 == std::string::npos || q2 + 1 >= line.size() || line[q2 + 1] != ',') return false;

    const auto minutes = ParseInteger(std::string_view(line).substr(0, c1));
    const auto seconds = ParseInteger(std::string_view(line).substr(c1 + 1, c2 - c1 - 1));
    const auto sw = ParseInteger(std::string_view(line).substr(q2 + 2));
    if (!minutes || !seconds || !sw) return false;
    if (*minutes < 0 || *minutes > 1000000 || *seconds < 0 || *seconds > 59 || *sw < 0 || *sw > 45) return false;
    std::string kind = line.substr(c2 + 2, q2 - c2 - 2);
    if (!KnownKind(kind)) return false;
    record.Minutes = static_cast<int>(*minutes);
    record.Seconds = static_cast<int>(*seconds);
    record.Kind = std::move(kind);
    record.Switch = static_cast<int>(*sw);
    return true;
}

std::string CheckStateLine(const std::string& line)
{
    std::string_view rest(line);
    for (int field = 0; field < 3 * SwitchCount; ++field) {
        const auto comma = rest.find(',');
        const bool last = field == 3 * SwitchCount - 1;
        if (last != (comma == std::string_view::npos))
            return last ? "more than 138 fields" : "only " + std::to_string(field + 1) + " of 138 fields";
        const std::string_view text = rest.substr(0, comma);
        rest = last ? std::string_view{} : rest.substr(comma + 1);
        const std::string name = "field " + std::to_string(field + 1);
        const int sw = field / 3;
        switch (field % 3) {
        case 0: {
            const auto n = ParseInteger(text);
            if (!n || *n != sw) return name + " is not switch number " + std::to_string(sw);
            break;
        }
        case 1: {
            const auto n = ParseInteger(text);
            if (!n || *n < -1000000000 || *n > 1000000000) return name + " is not the pump state of switch " + std::to_string(sw);
            break;
        }
        default: {
            const auto water = ParseNumber(text);
            if (!water || !WaterFits(*water))
                return name + " is not the water of tank " + std::to_string(sw / 2) + " within -1E+12..1E+12";
        }
        }
    }
    return {};
}

bool TrialLogReader::Open(const std::string& path)
{
    Close();
    path_ = path;
    in_.open(path, std::ios::binary);
    if (!in_) return Fail(0, "the file cannot be opened");

    std::string line;
    std::size_t lineNo = 0;
    ClockTime floor{0, 0};
    std::optional<ClockTime> lastSave;
    bool afterRestore = false;
    for (;;) {
        LineRead got = NextLine(in_, line);
        ++lineNo;
        if (got == LineRead::End) break;
        if (got == LineRead::TooLong) return Fail(lineNo, "the line is too long to be part of a trial log");
        if (got == LineRead::Unterminated) return Fail(lineNo, "the log ends inside a record (the line is cut off)");
        LogRecord record;
        if (!ParseHeaderLine(line, record)) return Fail(lineNo, "not a record header: \"" + ForMessage(line, 60) + "\"");

        const ClockTime at = TimeOf(record);
        const ClockTime allowed = afterRestore && lastSave ? std::min(floor, *lastSave) : floor;
        if (at < allowed)
            return Fail(lineNo, "the record at " + TimeText(at) + " is earlier than the one before it (" +
                                    TimeText(floor) + ")");
        floor = at;
        afterRestore = record.Kind == "FFR";
        if (record.Kind == "FF") lastSave = at;

        got = NextLine(in_, line);
        ++lineNo;
        if (got == LineRead::End) return Fail(lineNo - 1, "the record has no state line");
        if (got == LineRead::TooLong) return Fail(lineNo, "the line is too long to be part of a trial log");
        if (got == LineRead::Unterminated) return Fail(lineNo, "the log ends inside a record (the line is cut off)");
        const std::string fault = CheckStateLine(line);
        if (!fault.empty()) return Fail(lineNo, "not a state line: " + fault);
        ++count_;
    }
    if (count_ == 0) return Fail(0, "the log is empty");
    in_.clear();
    in_.seekg(0);
    if (!in_) return Fail(0, "the file cannot be read again");
    open_ = true;
    return true;
}

bool TrialLogReader::CheckEndTime(ClockTime end)
{
    if (!open_) return false;
    std::ifstream again(path_, std::ios::binary);
    std::string line;
    for (std::size_t k = 0; k < count_; ++k) {
        LogRecord record;
        if (NextLine(again, line) != LineRead::Line || !ParseHeaderLine(line, record))
            return Fail(2 * k + 1, "the file changed while it was being read");
        if (TimeOf(record) > end)
            return Fail(2 * k + 1, "the record at " + TimeText(TimeOf(record)) + " lies after the trial's end time " +
                                       TimeText(end));
        NextLine(again, line);
    }
    return true;
}

void TrialLogReader::Close()
{
    open_ = false;
    if (in_.is_open()) in_.close();
    in_.clear();
    count_ = 0;
    read_ = 0;
    error_.clear();
}

bool TrialLogReader::Fail(std::size_t line, const std::string& what)
{
    Close();
    error_ = ForMessage(path_, 1000);
    if (line > 0) error_ += ", line " + std::to_string(line);
    error_ += ": " + what;
    return false;
}

LogRecord TrialLogReader::ReadLogRecord()
{
    if (AtEnd()) return LogRecord{};
    std::string line;
    LogRecord record;
    if (NextLine(in_, line) != LineRead::Line || !ParseHeaderLine(line, record)) {
        // The file was changed under us after it was checked; end the replay here.
        read_ = count_;
        return LogRecord{};
    }
    NextLine(in_, line);
    ++read_;
    return record;
}

}  // namespace kestu
