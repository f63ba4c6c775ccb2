// Reading and checking the scenario's CSV files. Everything the program
// relies on when it reads the scenario tables is checked here, so an import
// never leaves the database with a scenario the program would refuse; all
// problems are collected so the experimenter can mend the files in one go.
#include "kestuctl/scenario_csv.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "engine/constants.h"
#include "engine/plant_state.h"
#include "kestuctl/csv.h"
#include "kestuctl/plain_number.h"
#include "trials/message_text.h"

namespace kestu::ctl {

namespace {

constexpr double Int16Min = -32768;
constexpr double Int16Max = 32767;
// A tank's shares may add up to 1 with the last bits of a double astray
// (0.1 + 0.2 + 0.7); more than that is more water than was pumped.
constexpr double ShareSumSlack = 1e-9;

struct ColumnRule {
    std::string name;
    bool whole = true;
    double lo = Int16Min;
    double hi = Int16Max;
};

ColumnRule Whole(std::string name, double lo, double hi) { return {std::move(name), true, lo, hi}; }
ColumnRule Real(std::string name) { return {std::move(name), false, 0, 0}; }

std::vector<ColumnRule> Rules(ScenarioTable table)
{
    switch (table) {
    case ScenarioTable::Exogenous: {
        std::vector<ColumnRule> rules{Whole("Hr", 0, Int16Max), Whole("Min", 0, 59)};
        for (int tank = 0; tank < TankCount; ++tank) rules.push_back(Real(std::to_string(tank)));
        return rules;
    }
    case ScenarioTable::Deadline:
        return {Whole("TankNum", 0, TankRecords - 1), Whole("Hr", 0, Int16Max), Whole("Min", 0, 59),
                Whole("ExpectAmt", Int16Min, Int16Max)};
    case ScenarioTable::Sorttable:
        return {Whole("head", 0, TankRecords - 1), Whole("tail", -1, TankRecords - 1), Real("sorta")};
    }
    return {};
}

// A row whose every cell passed, its numbers in the order of Rules().
struct NumberRow {
    int line = 0;
    std::vector<double> numbers;
};

struct Reporter {
    std::string file;
    std::vector<std::string>& problems;
    void At(int line, const std::string& what) const { problems.push_back(file + ":" + std::to_string(line) + ": " + what); }
    void Whole(const std::string& what) const { problems.push_back(file + ": " + what); }
};

// A cell or a header as the message shows it: quoted, with control bytes
// and a byte-order mark escaped, and a long one cut.
std::string Quoted(const std::string& text) { return "\"" + ForMessage(text, 40) + "\""; }
std::string Column(const std::string& name) { return "column " + Quoted(name) + ": "; }

std::optional<std::string> CellProblem(const std::string& text, const ColumnRule& rule, double& number)
{
    if (text.find_first_not_of(" \t") == std::string::npos) return std::string("empty cell");
    const auto parsed = ParsePlainNumber(text);
    if (!parsed) return Quoted(text) + " is not a number";
    number = *parsed;
    if (!rule.whole) {
        // Water beyond this cannot be written into a trial log and read back.
        if (!WaterFits(number)) return PlainNumber(number) + " is outside -1E+12..1E+12";
        return std::nullopt;
    }
    if (std::floor(number) != number) return PlainNumber(number) + " is not a whole number";
    if (number < rule.lo || number > rule.hi) {
        return PlainNumber(number) + " is outside " + PlainNumber(rule.lo) + ".." + PlainNumber(rule.hi);
    }
    return std::nullopt;
}

// Reads one file: its header must name exactly the table's columns (in any
// order); each row's cells are checked against their column's rule.
std::vector<NumberRow> ReadTableFile(const std::string& path, ScenarioTable table, const Reporter& report)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        report.Whole("cannot be read");
        return {};
    }
    std::ostringstream content;
    content << in.rdbuf();
    const CsvText csv = ReadCsv(content.str());
    if (!csv.error.empty()) {
        report.At(csv.errorLine, csv.error);
        return {};
    }
    if (csv.rows.empty()) {
        report.Whole("is empty; it needs a header row and at least one row below it");
        return {};
    }

    const std::vector<ColumnRule> rules = Rules(table);
    const CsvRow& header = csv.rows.front();
    std::map<std::string, std::size_t> position;  // column name -> field index
    bool headerOk = true;
    for (std::size_t f = 0; f < header.fields.size(); ++f) {
        std::string name = header.fields[f];
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        const bool known = std::any_of(rules.begin(), rules.end(), [&](const ColumnRule& r) { return r.name == name; });
        if (!known) {
            report.At(header.line, "unknown column " + Quoted(name));
            headerOk = false;
        } else if (!position.emplace(name, f).second) {
            report.At(header.line, "column " + Quoted(name) + " appears twice");
            headerOk = false;
        }
    }
    for (const ColumnRule& rule : rules) {
        if (!position.count(rule.name)) {
            report.At(header.line, "column " + Quoted(rule.name) + " is missing");
            headerOk = false;
        }
    }
    if (!headerOk) return {};
    if (csv.rows.size() == 1) {
        report.Whole("has no rows below its header");
        return {};
    }

    std::vector<NumberRow> rows;
    for (std::size_t r = 1; r < csv.rows.size(); ++r) {
        const CsvRow& row = csv.rows[r];
        if (row.fields.size() != header.fields.size()) {
            report.At(row.line, std::to_string(row.fields.size()) + " fields where the header has " +
                                    std::to_string(header.fields.size()));
            continue;
        }
        NumberRow numbers{row.line, std::vector<double>(rules.size())};
        bool rowOk = true;
        for (std::size_t c = 0; c < rules.size(); ++c) {
            const std::string& text = row.fields[position[rules[c].name]];
            if (auto problem = CellProblem(text, rules[c], numbers.numbers[c])) {
                report.At(row.line, Column(rules[c].name) + *problem);
                rowOk = false;
            }
        }
        if (rowOk) rows.push_back(std::move(numbers));
    }
    return rows;
}

std::string ClockText(int minute, int second)
{
    return std::to_string(minute) + ":" + (second < 10 ? "0" : "") + std::to_string(second);
}

void TakeArrivals(const std::vector<NumberRow>& rows, const Reporter& report, ScenarioTables& tables)
{
    const NumberRow* previous = nullptr;
    for (const NumberRow& r : rows) {
        ArrivalRow row;
        row.Hr = static_cast<int>(r.numbers[0]);
        row.Min = static_cast<int>(r.numbers[1]);
        for (int tank = 0; tank < TankCount; ++tank) row.Water[tank] = r.numbers[2 + tank];
        // The first row is the plant at the start; every arrival comes after it, in order.
        if (previous && std::pair(row.Hr, row.Min) <= std::pair(int(previous->numbers[0]), int(previous->numbers[1]))) {
            report.At(r.line, "time " + ClockText(row.Hr, row.Min) + " is not after the time of line " +
                                  std::to_string(previous->line) + ", " +
                                  ClockText(int(previous->numbers[0]), int(previous->numbers[1])) +
                                  " (rows must be in ascending time order, the first row being the start)");
        }
        previous = &r;
        tables.exogenous.push_back(row);
    }
}

void TakeDeadlines(const std::vector<NumberRow>& rows, ScenarioTables& tables)
{
    for (const NumberRow& r : rows) {
        tables.deadline.push_back({static_cast<int>(r.numbers[0]), static_cast<int>(r.numbers[1]),
                                   static_cast<int>(r.numbers[2]), static_cast<int>(r.numbers[3])});
    }
}

// At most MaxOutlets rows per tank, each share within 0..1, a tank's shares
// adding up to no more than 1, and ten shares adding up to exactly 1 (the
// program adds an outlet for what is left short of 1, and there is no 11th).
void TakeOutlets(const std::vector<NumberRow>& rows, const Reporter& report, ScenarioTables& tables)
{
    std::array<int, TankRecords> count{};
    std::array<double, TankRecords> sum{};
    std::array<bool, TankRecords> reported{};
    std::array<int, TankRecords> lastLine{};
    for (const NumberRow& r : rows) {
        const OutletRow row{static_cast<int>(r.numbers[0]), static_cast<int>(r.numbers[1]), r.numbers[2]};
        tables.sorttable.push_back(row);
        const std::string tank = "tank " + std::to_string(row.head);
        if (row.sorta < 0 || row.sorta > 1) {
            report.At(r.line, Column("sorta") + PlainNumber(row.sorta) + " is outside 0..1");
        }
        if (++count[row.head] == MaxOutlets + 1) {
            report.At(r.line, Column("head") + tank + " has more than " + std::to_string(MaxOutlets) + " outlet rows");
        }
        sum[row.head] += row.sorta;
        lastLine[row.head] = r.line;
        if (sum[row.head] > 1 + ShareSumSlack && !reported[row.head]) {
            reported[row.head] = true;
            report.At(r.line, Column("sorta") + "the shares of " + tank + " add up to " + PlainNumber(sum[row.head]) +
                                  " by this row, more than 1");
        }
    }
    for (int tank = 0; tank < TankRecords; ++tank) {
        if (count[tank] == MaxOutlets && sum[tank] != 1.0 && !reported[tank]) {
            report.At(lastLine[tank], Column("sorta") + "the " + std::to_string(MaxOutlets) + " shares of tank " +
                                          std::to_string(tank) + " add up to " + PlainNumber(sum[tank]) +
                                          ", not 1, and a tank has no room for an 11th outlet to carry the rest");
        }
    }
}

}  // namespace

std::string ScenarioCsvName(ScenarioTable table) { return std::string(ScenarioTableName(table)) + ".csv"; }

ScenarioCsv ReadScenarioCsv(const std::string& dir)
{
    ScenarioCsv result;
    for (ScenarioTable table : AllScenarioTables) {
        const std::string path = (std::filesystem::path(dir) / ScenarioCsvName(table)).string();
        const Reporter report{path, result.problems};
        const std::vector<NumberRow> rows = ReadTableFile(path, table, report);
        switch (table) {
        case ScenarioTable::Exogenous:
            TakeArrivals(rows, report, result.tables);
            break;
        case ScenarioTable::Deadline:
            TakeDeadlines(rows, result.tables);
            break;
        case ScenarioTable::Sorttable:
            TakeOutlets(rows, report, result.tables);
            break;
        }
    }
    return result;
}

}  // namespace kestu::ctl
