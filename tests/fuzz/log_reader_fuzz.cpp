// The trial-log reader fed arbitrary files: the replay and log2csv trust what
// it hands them. The properties are listed in README.md.
#include <algorithm>
#include <optional>
#include <vector>

#include "engine/plant_state.h"  // WaterFits
#include "fuzz_check.h"
#include "trials/log_reader.h"

namespace {

using namespace kestu::fuzz;

std::string Clock(kestu::ClockTime at) { return std::to_string(at.Minutes) + ":" + std::to_string(at.Seconds); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = "fuzzed/p.1";  // the log's name in messages; nothing is written

    kestu::TrialLogReader reader;
    if (const kestu::Status opened = reader.OpenText(path, text); !opened) {
        const std::string& error = opened.error();
        FUZZ_CHECK(error.rfind(path + ": ", 0) == 0 || error.rfind(path + ", line ", 0) == 0,
                   "the refusal does not start with the file's name: " + Quote(error));
        FUZZ_CHECK(!reader.IsOpen() && reader.AtEnd(), "the refused log stays open or still has records");
        const kestu::LogRecord none = reader.ReadLogRecord();
        FUZZ_CHECK(none.At == (kestu::ClockTime{-1, -1}), "a refused log hands out a record at " + Clock(none.At));
        return 0;
    }
    FUZZ_CHECK(reader.IsOpen(), "an accepted log is not open");
    FUZZ_CHECK(size > 0 && text.back() == '\n', "a log whose last line has no line end (cut off by a crash) is accepted");

    // The lines as a reader sees them: split at LF, a CR before the LF dropped.
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start - (end > start && text[end - 1] == '\r')));
    }
    const std::size_t count = reader.RecordCount();
    FUZZ_CHECK(count >= 1 && 2 * count <= lines.size(),
               "the reader counts " + std::to_string(count) + " records in " + std::to_string(lines.size()) + " lines");

    // The records read alone and, from a second reader, with their state lines.
    kestu::TrialLogReader whole;
    const kestu::Status again = whole.OpenText(path, text);
    FUZZ_CHECK(again.ok(), "the log is refused when opened a second time: " + Quote(again.error()));
    std::optional<kestu::LogRecord> previous;
    std::optional<kestu::ClockTime> save;
    for (std::size_t k = 0; k < count; ++k) {
        const std::string where = "record " + std::to_string(k + 1) + " of " + std::to_string(count);
        FUZZ_CHECK(!reader.AtEnd(), "the reader ends at " + where);
        const kestu::LogRecord r = reader.ReadLogRecord();
        FUZZ_CHECK(r.At.Minutes >= 0 && r.At.Seconds >= 0 && r.At.Seconds <= 59, where + " is at " + Clock(r.At));
        FUZZ_CHECK(!kestu::LogWord(r.Kind).empty(), where + " is of kind number " + std::to_string(int(r.Kind)));
        FUZZ_CHECK(r.Switch >= 0 && r.Switch <= 45, where + " names switch " + std::to_string(r.Switch));

        // Records alternate with state lines, so record k is line 2k.
        kestu::LogRecord header;
        FUZZ_CHECK(kestu::ParseHeaderLine(lines[2 * k], header).empty() && header.At == r.At &&
                       header.Kind == r.Kind && header.Switch == r.Switch,
                   where + " is not line " + std::to_string(2 * k + 1) + " " + Quote(lines[2 * k]));

        // A restore (FFR) puts the plant back to the last save (FF), so the
        // record after it may lie as far back as the save; nothing else may go back.
        if (previous) {
            const kestu::ClockTime floor = previous->Kind == kestu::LogKind::Restore && save ? *save : previous->At;
            FUZZ_CHECK(r.At >= floor, where + " at " + Clock(r.At) + " goes back before " + Clock(floor));
        }
        if (r.Kind == kestu::LogKind::Save) save = r.At;
        previous = r;

        const auto w = whole.ReadRecordWithState();
        FUZZ_CHECK(w.has_value(), where + " is not read with its state line");
        FUZZ_CHECK(w->At == r.At && w->Kind == r.Kind && w->Switch == r.Switch,
                   where + " read with its state line is not the record read alone");
        for (int t = 0; t < kestu::TankCount; ++t) {
            FUZZ_CHECK(kestu::WaterFits(w->Water[t]), where + " gives tank " + std::to_string(t) + " water no tank holds");
        }
        for (int s = 0; s < kestu::SwitchCount; ++s) {
            FUZZ_CHECK(w->PumpState[s] <= 1 && w->PumpState[s] >= -1000000,
                       where + " gives switch " + std::to_string(s) + " pump state " + std::to_string(w->PumpState[s]));
        }
    }
    FUZZ_CHECK(reader.AtEnd(), "records are left after the " + std::to_string(count) + " counted");
    const kestu::LogRecord after = reader.ReadLogRecord();
    FUZZ_CHECK(after.At == (kestu::ClockTime{-1, -1}), "a record at " + Clock(after.At) + " follows the end");
    FUZZ_CHECK(!whole.ReadRecordWithState().has_value() && whole.Records().size() == count,
               "reading whole records does not end cleanly after the " + std::to_string(count) + " counted");
    return 0;
}
