#include "scenario/scenario_rules.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "engine/constants.h"
#include "engine/plant_state.h"

namespace kestu {

namespace {

constexpr double Int16Min = -32768;
constexpr double Int16Max = 32767;
constexpr double LastTankRecord = TankRecords - 1;  // 23, the spare record

ColumnRule Whole(std::string name, double lo, double hi) { return {std::move(name), true, lo, hi}; }
// Water beyond MaxWater cannot be written into a trial log and read back.
ColumnRule Water(std::string name) { return {std::move(name), false, -MaxWater, MaxWater}; }

std::string RangeText(const ColumnRule& column) { return FaultNumber(column.lo) + ".." + FaultNumber(column.hi); }

// The column faults of one row's numbers; true when there were none.
bool CheckColumns(const TableRule& table, std::size_t row, std::span<const double> numbers,
                  std::vector<ScenarioFault>& faults)
{
    bool ok = true;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        if (auto what = NumberFault(table.columns[c], numbers[c])) {
            faults.push_back({table.name, row, table.columns[c].name, std::move(*what)});
            ok = false;
        }
    }
    return ok;
}

std::vector<double> NumbersOf(const ArrivalRow& row)
{
    std::vector<double> numbers{double(row.At.Minutes), double(row.At.Seconds)};
    numbers.insert(numbers.end(), row.Water.begin(), row.Water.end());
    return numbers;
}

}  // namespace

const TableRule& ArrivalTableRule()
{
    static const TableRule rule = [] {
        TableRule r{"exogenous", {Whole("Hr", 0, Int16Max), Whole("Min", 0, 59)}};
        for (int tank = 0; tank < TankCount; ++tank) r.columns.push_back(Water(std::to_string(tank)));
        return r;
    }();
    return rule;
}

const TableRule& DeadlineTableRule()
{
    static const TableRule rule{"deadline",
                                {Whole("TankNum", 0, LastTankRecord), Whole("Hr", 0, Int16Max), Whole("Min", 0, 59),
                                 Whole("ExpectAmt", Int16Min, Int16Max)}};
    return rule;
}

const TableRule& OutletTableRule()
{
    static const TableRule rule{"sorttable",
                                {Whole("head", 0, LastTankRecord), Whole("tail", -1, LastTankRecord),
                                 ColumnRule{"sorta", false, 0, 1}}};
    return rule;
}

std::string InTable(const ScenarioFault& fault)
{
    std::string text = "table \"" + fault.table + "\"";
    if (!fault.column.empty()) text += ", column \"" + fault.column + "\"";
    if (fault.row) text += ", row " + std::to_string(*fault.row + 1);
    // A fault of the whole table reads as a sentence about it.
    return text + (fault.row || !fault.column.empty() ? ": " : " ") + fault.what;
}

Fault AsFault(const ScenarioFault& fault)
{
    std::optional<std::size_t> row;
    if (fault.row) row = *fault.row + 1;
    return {InTable(fault), fault.table, row, fault.column};
}

std::string FaultNumber(double value)
{
    if (value == 0) return "0";  // also for -0
    std::array<char, 64> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), result.ptr);
    for (char& c : text) {
        if (c == 'e') c = 'E';
    }
    return text;
}

std::optional<std::string> NumberFault(const ColumnRule& column, double number)
{
    if (!std::isfinite(number)) return FaultNumber(number) + " is not a number";
    if (column.whole && std::floor(number) != number) return FaultNumber(number) + " is not a whole number";
    if (number < column.lo || number > column.hi) return FaultNumber(number) + " is outside " + RangeText(column);
    return std::nullopt;
}

std::optional<double> ParseCellText(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    // from_chars takes no "+"; a spreadsheet may write one.
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-') return std::nullopt;
    }
    double value = 0;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, value, std::chars_format::general);
    if (ec != std::errc{} || end != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::string> TextCellFault(const ColumnRule& column, std::string_view text, ShowText show,
                                         double& number)
{
    if (text.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos) return std::string(EmptyCellFault);
    const auto parsed = ParseCellText(text);
    if (!parsed) return NotANumberFault(show(text));
    number = *parsed;
    return NumberFault(column, number);
}

std::string NotANumberFault(std::string_view shownText) { return "\"" + std::string(shownText) + "\" is not a number"; }

std::optional<ScenarioFault> EmptyTableFault(const TableRule& table, std::size_t rows)
{
    if (rows > 0) return std::nullopt;
    return ScenarioFault{table.name, std::nullopt, {}, "has no rows"};
}

ArrivalRow ArrivalFromNumbers(std::span<const double> numbers)
{
    ArrivalRow row;
    row.At = {static_cast<int>(numbers[0]), static_cast<int>(numbers[1])};
    for (int tank = 0; tank < TankCount; ++tank) row.Water[tank] = numbers[2 + tank];
    return row;
}

DeadlineRow DeadlineFromNumbers(std::span<const double> numbers)
{
    return {static_cast<int>(numbers[0]), {static_cast<int>(numbers[1]), static_cast<int>(numbers[2])},
            static_cast<int>(numbers[3])};
}

OutletRow OutletFromNumbers(std::span<const double> numbers)
{
    return {static_cast<int>(numbers[0]), static_cast<int>(numbers[1]), numbers[2]};
}

void CheckArrivalRows(const std::vector<ArrivalRow>& rows, std::vector<ScenarioFault>& faults)
{
    for (std::size_t r = 0; r < rows.size(); ++r) CheckColumns(ArrivalTableRule(), r, NumbersOf(rows[r]), faults);
}

std::vector<ScenarioFault> ArrivalOrderNotes(const std::vector<ArrivalRow>& rows)
{
    std::vector<ScenarioFault> notes;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].At > rows[r - 1].At) continue;
        notes.push_back({ArrivalTableRule().name, r, {},
                         "time " + FormatClock(rows[r].At) + " is not after the time before it, " +
                             FormatClock(rows[r - 1].At) + ", so this row and every row after it never arrive"});
    }
    return notes;
}

void CheckDeadlineRows(const std::vector<DeadlineRow>& rows, std::vector<ScenarioFault>& faults)
{
    const TableRule& table = DeadlineTableRule();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const DeadlineRow& row = rows[r];
        const double numbers[] = {double(row.TankNum), double(row.At.Minutes), double(row.At.Seconds), double(row.ExpectAmt)};
        CheckColumns(table, r, numbers, faults);
    }
}

void CheckOutletRows(const std::vector<OutletRow>& rows, std::vector<ScenarioFault>& faults)
{
    const TableRule& table = OutletTableRule();
    std::array<int, TankRecords> count{};
    std::array<double, TankRecords> sum{};  // in row order, as the program adds them
    std::array<bool, TankRecords> overOne{};
    std::array<std::size_t, TankRecords> lastRow{};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const OutletRow& row = rows[r];
        const double numbers[] = {double(row.head), double(row.tail), row.sorta};
        if (!CheckColumns(table, r, numbers, faults)) continue;
        const std::string tank = "tank " + std::to_string(row.head);
        if (++count[row.head] == MaxOutlets + 1) {
            faults.push_back({table.name, r, "head", tank + " has more than " + std::to_string(MaxOutlets) + " outlet rows"});
        }
        sum[row.head] += row.sorta;
        lastRow[row.head] = r;
        if (sum[row.head] > 1 + ShareSumSlack && !overOne[row.head]) {
            overOne[row.head] = true;
            faults.push_back({table.name, r, "sorta",
                              "the shares of " + tank + " add up to " + FaultNumber(sum[row.head]) +
                                  " by this row, more than 1"});
        }
    }
    for (int t = 0; t < TankCount; ++t) {
        if (count[t] != MaxOutlets || sum[t] == 1.0 || overOne[t]) continue;
        faults.push_back({table.name, lastRow[t], "sorta",
                          "the " + std::to_string(MaxOutlets) + " shares of tank " + std::to_string(t) + " add up to " +
                              FaultNumber(sum[t]) + ", not 1, and a tank has no room for an 11th outlet to carry the rest"});
    }
}

std::vector<ScenarioFault> ScenarioFaults(const ScenarioTables& tables)
{
    std::vector<ScenarioFault> faults;
    if (auto empty = EmptyTableFault(ArrivalTableRule(), tables.exogenous.size())) faults.push_back(*empty);
    CheckArrivalRows(tables.exogenous, faults);
    if (auto empty = EmptyTableFault(DeadlineTableRule(), tables.deadline.size())) faults.push_back(*empty);
    CheckDeadlineRows(tables.deadline, faults);
    if (auto empty = EmptyTableFault(OutletTableRule(), tables.sorttable.size())) faults.push_back(*empty);
    CheckOutletRows(tables.sorttable, faults);
    return faults;
}

}  // namespace kestu
