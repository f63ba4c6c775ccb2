// The scenario CSV reader of kestuctl import-scenario fed arbitrary files.
// An import must never leave the database with a scenario the program would
// refuse, so tables the reader accepts must pass the trial setup's own checks
// and the database reader's column ranges; written back as plain CSV they
// must be accepted again as the same tables. Every problem must name its file.
//
// Input: exogenous.csv, deadline.csv and sorttable.csv one after the other,
// split at "%%"; a file without its part is left out of the folder.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/constants.h"
#include "engine/plant_state.h"
#include "fuzz_check.h"
#include "kestuctl/scenario_csv.h"
#include "scenario/outlets.h"
#include "scenario/trial_setup.h"

namespace {

namespace fs = std::filesystem;
using kestu::fuzz::Exact;
using kestu::fuzz::Quote;

const char* const FileNames[] = {"exogenous.csv", "deadline.csv", "sorttable.csv"};

void RemoveFolder(const std::string& dir)
{
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

// A folder of this process's own: under TMPDIR when it is set, else in
// memory where there is /dev/shm.
const std::string& Folder()
{
    static const std::string dir = [] {
        std::error_code error;
        const char* tmpdir = std::getenv("TMPDIR");
        std::string base = tmpdir && *tmpdir                      ? std::string(tmpdir)
                           : fs::is_directory("/dev/shm", error) ? std::string("/dev/shm")
                                                                  : fs::temp_directory_path().string();
        std::string pattern = base + "/kestu-fuzz-scenario-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        return pattern;
    }();
    static const bool cleanup = [] { return std::atexit([] { RemoveFolder(Folder()); }) == 0; }();
    (void)cleanup;
    return dir;
}

std::string PathOf(int file) { return Folder() + "/" + FileNames[file]; }

void WriteFile(const std::string& path, std::string_view text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) std::abort();
}

std::string Number(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

void Row(std::string& out, const std::vector<std::string>& cells)
{
    for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? "," : "") + cells[i];
    out += "\r\n";
}

// The tables as three CSV files in the folder, every number in its shortest exact form.
void WriteTables(const kestu::ScenarioTables& tables)
{
    std::string exogenous;
    std::vector<std::string> header = {"Hr", "Min"};
    for (int t = 0; t < kestu::TankCount; ++t) header.push_back(std::to_string(t));
    Row(exogenous, header);
    for (const auto& r : tables.exogenous) {
        std::vector<std::string> cells = {std::to_string(r.At.Minutes), std::to_string(r.At.Seconds)};
        for (double w : r.Water) cells.push_back(Number(w));
        Row(exogenous, cells);
    }
    std::string deadline = "TankNum,Hr,Min,ExpectAmt\r\n";
    for (const auto& r : tables.deadline)
        Row(deadline, {std::to_string(r.TankNum), std::to_string(r.At.Minutes), std::to_string(r.At.Seconds), std::to_string(r.ExpectAmt)});
    std::string sorttable = "head,tail,sorta\r\n";
    for (const auto& r : tables.sorttable) Row(sorttable, {std::to_string(r.head), std::to_string(r.tail), Number(r.sorta)});
    WriteFile(PathOf(0), exogenous);
    WriteFile(PathOf(1), deadline);
    WriteFile(PathOf(2), sorttable);
}

bool SameTables(const kestu::ScenarioTables& a, const kestu::ScenarioTables& b)
{
    if (a.exogenous.size() != b.exogenous.size() || a.deadline.size() != b.deadline.size() ||
        a.sorttable.size() != b.sorttable.size())
        return false;
    for (std::size_t i = 0; i < a.exogenous.size(); ++i) {
        const auto &x = a.exogenous[i], &y = b.exogenous[i];
        if (x.At.Minutes != y.At.Minutes || x.At.Seconds != y.At.Seconds || x.Water != y.Water) return false;
    }
    for (std::size_t i = 0; i < a.deadline.size(); ++i) {
        const auto &x = a.deadline[i], &y = b.deadline[i];
        if (x.TankNum != y.TankNum || x.At.Minutes != y.At.Minutes || x.At.Seconds != y.At.Seconds || x.ExpectAmt != y.ExpectAmt) return false;
    }
    for (std::size_t i = 0; i < a.sorttable.size(); ++i) {
        const auto &x = a.sorttable[i], &y = b.sorttable[i];
        if (x.head != y.head || x.tail != y.tail || x.sorta != y.sorta) return false;
    }
    return true;
}

std::string Problems(const std::vector<std::string>& problems)
{
    std::string out;
    for (const auto& p : problems) out += "\n    " + p;
    return out;
}

bool Within(int value, int lo, int hi) { return value >= lo && value <= hi; }

}  // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
// Each input opens six files, and every stream buffer is a fresh allocation;
// with AddressSanitizer's default 256 MB quarantine most of the time goes to
// faulting in new pages. A use after free still shows within one input.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=32"; }
#endif
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (parts.size() < 2) {
        const std::size_t cut = input.find("%%", start);
        if (cut == std::string_view::npos) break;
        parts.push_back(input.substr(start, cut - start));
        start = cut + 2;
    }
    parts.push_back(input.substr(start));
    for (int f = 0; f < 3; ++f) {
        if (f < static_cast<int>(parts.size()))
            WriteFile(PathOf(f), parts[f]);
        else
            std::remove(PathOf(f).c_str());
    }

    const kestu::ctl::ScenarioCsv read = kestu::ctl::ReadScenarioCsv(Folder());
    for (const std::string& problem : read.problems) {
        bool named = false;
        for (int f = 0; f < 3; ++f) named = named || problem.rfind(PathOf(f) + ":", 0) == 0;
        FUZZ_CHECK(named, "a problem names no file: " + Quote(problem));
    }
    if (!read.problems.empty()) return 0;

    const kestu::ScenarioTables& tables = read.tables;
    FUZZ_CHECK(parts.size() == 3, "accepted with only " + std::to_string(parts.size()) + " of the three files");
    // The database reader refuses a table without rows.
    FUZZ_CHECK(!tables.exogenous.empty() && !tables.deadline.empty() && !tables.sorttable.empty(),
               "a table without rows is accepted");
    const std::string setup = kestu::CheckScenario(tables).error();
    FUZZ_CHECK(setup.empty(), "accepted tables the trial setup refuses: " + setup);
    kestu::PlantState plant;
    const std::string outlets = kestu::LoadOutlets(plant, tables.sorttable).error();
    FUZZ_CHECK(outlets.empty(), "accepted outlets the plant refuses: " + outlets);

    // The database reader's whole-number columns: clock minutes from 0, clock
    // seconds within a minute, tanks 0..23 (tail -1 leaves the plant), amounts in 16 bits.
    for (std::size_t i = 0; i < tables.exogenous.size(); ++i) {
        const auto& r = tables.exogenous[i];
        FUZZ_CHECK(Within(r.At.Minutes, 0, 32767) && Within(r.At.Seconds, 0, 59),
                   "arrival row " + std::to_string(i + 1) + " at " + std::to_string(r.At.Minutes) + ":" + std::to_string(r.At.Seconds));
    }
    for (std::size_t i = 0; i < tables.deadline.size(); ++i) {
        const auto& r = tables.deadline[i];
        FUZZ_CHECK(Within(r.TankNum, 0, 23) && Within(r.At.Minutes, 0, 32767) && Within(r.At.Seconds, 0, 59) &&
                       Within(r.ExpectAmt, -32768, 32767),
                   "deadline row " + std::to_string(i + 1) + " is out of range");
    }
    for (std::size_t i = 0; i < tables.sorttable.size(); ++i) {
        const auto& r = tables.sorttable[i];
        FUZZ_CHECK(Within(r.head, 0, 23) && Within(r.tail, -1, 23),
                   "outlet row " + std::to_string(i + 1) + " from " + std::to_string(r.head) + " to " +
                       std::to_string(r.tail) + " share " + Exact(r.sorta));
    }

    WriteTables(tables);
    const kestu::ctl::ScenarioCsv again = kestu::ctl::ReadScenarioCsv(Folder());
    FUZZ_CHECK(again.problems.empty(), "the accepted tables written back are refused:" + Problems(again.problems));
    FUZZ_CHECK(SameTables(again.tables, tables), "the accepted tables written back read as other tables");
    return 0;
}
