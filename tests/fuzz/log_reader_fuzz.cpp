// The trial-log reader fed arbitrary files. The replay and log2csv trust
// whatever the reader hands them, so an accepted log must give back every
// record it counted, in file order, each a known kind at a real clock time
// and switch, with time running forward except where a restore turns the
// clock back to its save; read with their state lines the same records come
// back, with water and pump states a trial can hold; and a log cut off in the
// middle of a line is refused. A refused log leaves the reader closed, empty
// and saying why, naming the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "engine/plant_state.h"  // WaterFits
#include "fuzz_check.h"
#include "trials/log_reader.h"

namespace {

using kestu::fuzz::Quote;

// The input lives in one memory file, reopened by path like any log.
const std::string& LogPath()
{
    static const std::string path = [] {
        const int fd = memfd_create("kestu-fuzz-log", 0);
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

void Store(const std::uint8_t* data, std::size_t size)
{
    const int fd = std::stoi(LogPath().substr(LogPath().rfind('/') + 1));
    if (ftruncate(fd, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
}

// The lines as a reader sees them: split at LF, a CR before the LF dropped.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        lines.emplace_back(text, start, stop - start);
        start = end + 1;
    }
    return lines;
}

std::string Clock(int minutes, int seconds)
{
    return std::to_string(minutes) + (seconds >= 0 && seconds < 10 ? ":0" : ":") + std::to_string(seconds);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Store(data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);

    kestu::TrialLogReader reader;
    if (!reader.Open(LogPath())) {
        FUZZ_CHECK(!reader.Error().empty(), "a refused log gives no reason");
        const std::string& error = reader.Error();
        FUZZ_CHECK(error.rfind(LogPath() + ": ", 0) == 0 || error.rfind(LogPath() + ", line ", 0) == 0,
                   "the refusal does not start with the file's name: " + Quote(error));
        FUZZ_CHECK(!reader.IsOpen(), "the reader stays open after refusing the log");
        FUZZ_CHECK(reader.AtEnd(), "a refused log still has records: " + reader.Error());
        const kestu::LogRecord none = reader.ReadLogRecord();
        FUZZ_CHECK(none.At.Minutes == -1 && none.At.Seconds == -1,
                   "a refused log hands out a record at " + Clock(none.At.Minutes, none.At.Seconds));
        return 0;
    }

    FUZZ_CHECK(reader.IsOpen() && reader.Error().empty(), "an accepted log reports " + Quote(reader.Error()));
    FUZZ_CHECK(size > 0 && text.back() == '\n',
               "a log whose last line has no line end (cut off by a crash) is accepted");
    const std::vector<std::string> lines = Lines(text);
    const std::size_t count = reader.RecordCount();
    FUZZ_CHECK(count >= 1, "a log without records is accepted");
    FUZZ_CHECK(2 * count <= lines.size(), "the reader counts " + std::to_string(count) + " records in " +
                                               std::to_string(lines.size()) + " lines");

    std::vector<kestu::LogRecord> headers;
    bool previousWasRestore = false;
    int lastMinutes = -1, lastSeconds = -1;
    int saveMinutes = -1, saveSeconds = -1;
    for (std::size_t k = 0; k < count; ++k) {
        const std::string where = "record " + std::to_string(k + 1) + " of " + std::to_string(count);
        FUZZ_CHECK(!reader.AtEnd(), "the reader ends at " + where);
        const kestu::LogRecord r = reader.ReadLogRecord();
        FUZZ_CHECK(r.At.Minutes >= 0 && r.At.Seconds >= 0 && r.At.Seconds <= 59,
                   where + " is at " + Clock(r.At.Minutes, r.At.Seconds));
        FUZZ_CHECK(!kestu::LogWord(r.Kind).empty(),
                   where + " is of kind number " + std::to_string(static_cast<int>(r.Kind)));
        FUZZ_CHECK(r.Switch >= 0 && r.Switch <= 45, where + " names switch " + std::to_string(r.Switch));

        // Records alternate with state lines, so record k is line 2k.
        kestu::LogRecord header;
        const std::string& line = lines[2 * k];
        FUZZ_CHECK(kestu::ParseHeaderLine(line, header).empty() && header.At.Minutes == r.At.Minutes &&
                       header.At.Seconds == r.At.Seconds && header.Kind == r.Kind && header.Switch == r.Switch,
                   where + " is not line " + std::to_string(2 * k + 1) + " " + Quote(line));

        // A restore (FFR) puts the plant back to the last save (FF), so the
        // record after it may lie as far back as the save; nothing else may go back.
        if (k > 0) {
            const bool back = previousWasRestore && saveMinutes >= 0;
            const int floorMinutes = back ? saveMinutes : lastMinutes;
            const int floorSeconds = back ? saveSeconds : lastSeconds;
            FUZZ_CHECK(std::pair(r.At.Minutes, r.At.Seconds) >= std::pair(floorMinutes, floorSeconds),
                       where + " at " + Clock(r.At.Minutes, r.At.Seconds) + " goes back before " +
                           Clock(floorMinutes, floorSeconds));
        }
        if (r.Kind == kestu::LogKind::Save) {
            saveMinutes = r.At.Minutes;
            saveSeconds = r.At.Seconds;
        }
        previousWasRestore = r.Kind == kestu::LogKind::Restore;
        headers.push_back(r);
        lastMinutes = r.At.Minutes;
        lastSeconds = r.At.Seconds;
    }
    FUZZ_CHECK(reader.AtEnd(), "records are left after the " + std::to_string(count) + " counted");
    const kestu::LogRecord after = reader.ReadLogRecord();
    FUZZ_CHECK(after.At.Minutes == -1 && after.At.Seconds == -1,
               "a record at " + Clock(after.At.Minutes, after.At.Seconds) + " follows the end");

    // The same records again, whole.
    kestu::TrialLogReader whole;
    FUZZ_CHECK(whole.Open(LogPath()), "the log is refused when opened a second time: " + Quote(whole.Error()));
    for (std::size_t k = 0; k < count; ++k) {
        const std::string where = "record " + std::to_string(k + 1) + " of " + std::to_string(count);
        const auto r = whole.ReadRecordWithState();
        FUZZ_CHECK(r.has_value(), where + " is not read with its state line: " + Quote(whole.Error()));
        const kestu::LogRecord& h = headers[k];
        FUZZ_CHECK(r->At == h.At && r->Kind == h.Kind && r->Switch == h.Switch,
                   where + " read with its state line is not the record read alone");
        for (int t = 0; t < kestu::TankCount; ++t)
            FUZZ_CHECK(kestu::WaterFits(r->Water[t]),
                       where + " gives tank " + std::to_string(t) + " water no tank holds");
        for (int s = 0; s < kestu::SwitchCount; ++s)
            FUZZ_CHECK(r->PumpState[s] <= 1 && r->PumpState[s] >= -1000000,
                       where + " gives switch " + std::to_string(s) + " pump state " +
                           std::to_string(r->PumpState[s]));
    }
    FUZZ_CHECK(!whole.ReadRecordWithState().has_value() && whole.Error().empty(),
               "reading whole records does not end cleanly after the " + std::to_string(count) + " counted");
    return 0;
}
