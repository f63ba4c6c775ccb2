// The trial log's state lines are for people analysing an experiment; the
// core's reader skips them, so they are read here, field by field.
#include "kestuctl/logged_trial.h"

#include "trials/log_reader.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "kestuctl/plain_number.h"

namespace kestu::ctl {

namespace {

constexpr const char* Kinds[] = {"ON", "CLEAN", "OFF", "QUEUED", "STOP", "FF", "FFR"};
constexpr std::size_t StateFields = 3 * SwitchCount;

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

std::string FieldProblem(std::size_t field, const std::string& name, std::string_view text, const std::string& what)
{
    return "field " + std::to_string(field + 1) + " (" + name + "): \"" + std::string(text.substr(0, 40)) + "\" " + what;
}

// Empty when the header line was read into `record`, otherwise what is wrong.
std::string ReadHeader(std::string_view line, LoggedRecord& record)
{
    const auto fields = SplitFields(line);
    if (fields.size() != 4) {
        return "not a record header: " + std::to_string(fields.size()) +
               " fields where minute,second,\"KIND\",switch has 4";
    }
    const auto minute = ParseWhole(fields[0], 0, 1000000);
    if (!minute) return FieldProblem(0, "minute", fields[0], "is not a whole number 0 or more");
    const auto second = ParseWhole(fields[1], 0, 59);
    if (!second) return FieldProblem(1, "second", fields[1], "is not a whole number 0..59");
    const std::string_view quoted = fields[2];
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
        return FieldProblem(2, "kind", quoted, "is not a kind in double quotes");
    }
    const std::string kind(quoted.substr(1, quoted.size() - 2));
    if (std::find(std::begin(Kinds), std::end(Kinds), kind) == std::end(Kinds)) {
        return FieldProblem(2, "kind", kind, "is none of ON, CLEAN, OFF, QUEUED, STOP, FF, FFR");
    }
    const auto switchNum = ParseWhole(fields[3], 0, SwitchCount - 1);
    if (!switchNum) return FieldProblem(3, "switch", fields[3], "is not a switch number 0..45");
    record.minute = static_cast<int>(*minute);
    record.second = static_cast<int>(*second);
    record.kind = kind;
    record.switchNum = static_cast<int>(*switchNum);
    return {};
}

// A state line: switch i, its pump state and its tank's water, for i = 0..45.
std::string ReadState(std::string_view line, LoggedRecord& record)
{
    const auto fields = SplitFields(line);
    if (fields.size() != StateFields) {
        return "not a state line: " + std::to_string(fields.size()) + " fields where a state line has " +
               std::to_string(StateFields);
    }
    for (int s = 0; s < SwitchCount; ++s) {
        const std::size_t at = 3 * static_cast<std::size_t>(s);
        const std::string which = " of switch " + std::to_string(s);
        if (ParseWhole(fields[at], s, s) != s) return FieldProblem(at, "switch number", fields[at], "should be " + std::to_string(s));
        const auto pump = ParseWhole(fields[at + 1], -1000000, 1);
        if (!pump) return FieldProblem(at + 1, "pump state" + which, fields[at + 1], "is not a whole number up to 1");
        const auto water = ParsePlainNumber(fields[at + 2]);
        if (!water) return FieldProblem(at + 2, "water" + which, fields[at + 2], "is not a number");
        record.pumpState[s] = static_cast<int>(*pump);
        record.water[TankOf(s)] = *water;  // both switches of a tank carry the same water
    }
    return {};
}

}  // namespace

LoggedTrial ParseLoggedTrial(const std::string& path, const std::string& text)
{
    LoggedTrial trial;
    std::vector<std::string_view> lines;
    const std::string_view all(text);
    for (std::size_t start = 0; start < all.size();) {
        auto end = all.find('\n', start);
        if (end == std::string_view::npos) end = all.size();
        std::size_t stop = end;
        if (stop > start && all[stop - 1] == '\r') --stop;
        lines.push_back(all.substr(start, stop - start));
        start = end + 1;
    }
    if (lines.empty()) {
        trial.error = path + ": the log is empty";
        return trial;
    }
    for (std::size_t k = 0; k < lines.size(); k += 2) {
        LoggedRecord record;
        std::string problem = ReadHeader(lines[k], record);
        std::size_t line = k + 1;
        if (problem.empty()) {
            line = k + 2;
            problem = k + 1 < lines.size() ? ReadState(lines[k + 1], record) : "the record has no state line";
        }
        if (!problem.empty()) {
            trial.records.clear();
            trial.error = path + ":" + std::to_string(line) + ": " + problem;
            return trial;
        }
        trial.records.push_back(std::move(record));
    }
    return trial;
}

LoggedTrial ReadLoggedTrial(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return {{}, path + ": the trial log cannot be opened"};
    std::ostringstream content;
    content << in.rdbuf();
    LoggedTrial trial = ParseLoggedTrial(path, content.str());
    if (!trial.error.empty()) return trial;
    // Then the replay's own checks: a torn last record, or records going back
    // in time, refuse the log here as they do there.
    TrialLogReader check;
    if (!check.Open(path)) return {{}, check.Error()};
    return trial;
}

}  // namespace kestu::ctl
