#include "trials/log_reader.h"

#include <fstream>
#include <sstream>

#include "trials/number_text.h"

namespace kestu {

namespace {

bool KnownKind(const std::string& kind)
{
    static const char* const kinds[] = {"ON", "CLEAN", "OFF", "QUEUED", "STOP", "FF", "FFR"};
    for (const char* k : kinds)
        if (kind == k) return true;
    return false;
}

// A state line: 46 triples "switch,pump state,water".
bool IsStateLine(const std::string& line)
{
    std::size_t fields = 1;
    for (char c : line) fields += c == ',';
    return fields == 138 && line.rfind("0,", 0) == 0;
}

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

bool TrialLogReader::Open(const std::string& path)
{
    Close();
    path_ = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(0, "the file cannot be opened");
    std::ostringstream content;
    content << in.rdbuf();
    const std::string text = content.str();

    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        lines.emplace_back(text, start, stop - start);
        start = end + 1;
    }
    if (lines.empty()) return Fail(0, "the log is empty");
    for (std::size_t k = 0; k < lines.size(); k += 2) {
        LogRecord record;
        if (!ParseHeaderLine(lines[k], record))
            return Fail(k + 1, "not a record header: \"" + lines[k].substr(0, 60) + "\"");
        if (k + 1 >= lines.size()) return Fail(k + 1, "the record has no state line");
        if (!IsStateLine(lines[k + 1])) return Fail(k + 2, "not a state line");
        records_.push_back(std::move(record));
    }
    open_ = true;
    return true;
}

void TrialLogReader::Close()
{
    open_ = false;
    records_.clear();
    next_ = 0;
    error_.clear();
}

bool TrialLogReader::Fail(std::size_t line, const std::string& what)
{
    records_.clear();
    next_ = 0;
    open_ = false;
    error_ = path_;
    if (line > 0) error_ += ", line " + std::to_string(line);
    error_ += ": " + what;
    return false;
}

LogRecord TrialLogReader::ReadLogRecord()
{
    if (AtEnd()) return LogRecord{};
    return records_[next_++];
}

}  // namespace kestu
