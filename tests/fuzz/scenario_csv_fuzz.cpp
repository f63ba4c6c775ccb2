// The scenario CSV reader of kestuctl import-scenario fed arbitrary files: an
// import must never leave the database with a scenario the program would
// refuse. The properties and the input's form are in README.md.
#include <vector>

#include "engine/plant_state.h"
#include "fuzz_check.h"
#include "kestuctl/scenario_csv.h"
#include "scenario/outlets.h"
#include "scenario/trial_setup.h"

namespace {

using namespace kestu::fuzz;

const char* const FileNames[] = {"exogenous.csv", "deadline.csv", "sorttable.csv"};

// A table's rows as the numbers of its columns, in the order the files are written.
std::vector<std::vector<double>> Numbers(const kestu::ScenarioTables& tables, int file)
{
    std::vector<std::vector<double>> rows;
    if (file == 0) {
        for (const auto& r : tables.exogenous) {
            rows.push_back({double(r.At.Minutes), double(r.At.Seconds)});
            rows.back().insert(rows.back().end(), r.Water.begin(), r.Water.end());
        }
    } else if (file == 1) {
        for (const auto& r : tables.deadline) {
            rows.push_back({double(r.TankNum), double(r.At.Minutes), double(r.At.Seconds), double(r.ExpectAmt)});
        }
    } else {
        for (const auto& r : tables.sorttable) rows.push_back({double(r.head), double(r.tail), r.sorta});
    }
    return rows;
}

const char* const Headers[] = {"Hr,Min", "TankNum,Hr,Min,ExpectAmt", "head,tail,sorta"};

// The database reader's ranges of the whole-number columns, from the left.
const std::vector<std::pair<double, double>> Ranges[] = {
    {{0, 32767}, {0, 59}}, {{0, 23}, {0, 32767}, {0, 59}, {-32768, 32767}}, {{0, 23}, {-1, 23}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& folder = ScratchFolder();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t cut = parts.size() < 2 ? input.find("%%", start) : std::string_view::npos;
        parts.push_back(input.substr(start, cut == std::string_view::npos ? cut : cut - start));
        if (cut == std::string_view::npos) break;
        start = cut + 2;
    }
    for (std::size_t f = 0; f < 3; ++f) {
        const std::string path = folder + "/" + FileNames[f];
        f < parts.size() ? WriteFile(path, parts[f]) : void(std::remove(path.c_str()));
    }

    const kestu::ctl::ScenarioCsv read = kestu::ctl::ReadScenarioCsv(folder);
    for (const std::string& problem : read.problems) {
        bool named = false;
        for (const char* name : FileNames) named = named || problem.rfind(folder + "/" + name + ":", 0) == 0;
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

    // Written back with every number in its shortest exact form, read as the same tables.
    for (int f = 0; f < 3; ++f) {
        std::string text = Headers[f];
        for (int t = 0; f == 0 && t < kestu::TankCount; ++t) text += "," + std::to_string(t);
        text += "\r\n";
        const auto rows = Numbers(tables, f);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            for (std::size_t c = 0; c < rows[i].size(); ++c) {
                const double v = rows[i][c];
                FUZZ_CHECK(c >= Ranges[f].size() || (v >= Ranges[f][c].first && v <= Ranges[f][c].second),
                           std::string(FileNames[f]) + " row " + std::to_string(i + 1) + " column " +
                               std::to_string(c + 1) + ": " + Exact(v) + " is outside the database reader's range");
                text += (c ? "," : "") + Exact(v);
            }
            text += "\r\n";
        }
        WriteFile(folder + "/" + FileNames[f], text);
    }
    const kestu::ctl::ScenarioCsv again = kestu::ctl::ReadScenarioCsv(folder);
    FUZZ_CHECK(again.problems.empty(), "the accepted tables written back are refused: " + again.problems.front());
    for (int f = 0; f < 3; ++f) {
        FUZZ_CHECK(Numbers(again.tables, f) == Numbers(tables, f),
                   std::string("the accepted tables written back read as others in ") + FileNames[f]);
    }
    return 0;
}
