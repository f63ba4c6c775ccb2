#pragma once

// The rules a scenario obeys, in one place for everyone who reads one: the
// database read, the CSV import and the trial setup. What is wrong with a
// scenario is worded here; a reader only says where it is
// (`table "exogenous", column "Min", row 3` or `exogenous.csv:4: column "Min"`),
// so the same fault reads the same wherever it is found.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/result.h"
#include "scenario/scenario_tables.h"

namespace kestu {

// One column: its name and the numbers it may hold (lo..hi, both included).
struct ColumnRule {
    std::string name;
    bool whole = false;  // a whole number; otherwise any number within the range
    double lo = 0;
    double hi = 0;
};

// One table: its name (in the database, and the CSV file's name without
// ".csv") and its columns in the order the program writes and reads them.
// Every table needs at least one row.
struct TableRule {
    std::string name;
    std::vector<ColumnRule> columns;
};

// "exogenous": Hr (clock minute, 0..32767), Min (clock second, 0..59), then
// "0".."22", the buckets arriving into each tank (-1E+12..1E+12).
const TableRule& ArrivalTableRule();
// "deadline": TankNum (0..23), Hr (0..32767), Min (0..59), ExpectAmt (16 bits).
const TableRule& DeadlineTableRule();
// "sorttable": head (0..23), tail (-1..23, -1 leaves the plant), sorta (0..1).
const TableRule& OutletTableRule();

// The rules over a table's rows together:
//  - a tank (head) has at most MaxOutlets outlet rows;
//  - a tank's shares add up to at most 1, give or take ShareSumSlack;
//  - a tank with MaxOutlets rows has shares adding up to exactly 1, as the
//    program sends what they leave short of 1 out through one more outlet;
//    record 23, which the program never completes, is exempt.

// Shares may add up to 1 with the last bits of a double astray
// (0.33 + 0.56 + 0.11); more than that sends out more water than was pumped.
inline constexpr double ShareSumSlack = 1e-9;

// One fault: the table, the row (an index into the rows checked; none for the
// table as a whole), the column (empty for a row or table as a whole) and
// what is wrong.
struct ScenarioFault {
    std::string table;
    std::optional<std::size_t> row;
    std::string column;
    std::string what;
};

// A fault where it is in a table: `table "exogenous", column "Min", row 3: 60
// is outside 0..59`, `table "exogenous", row 5: time ...`, `table "deadline"
// has no rows`; rows counted from 1 in stored order.
std::string InTable(const ScenarioFault& fault);
// The same, with the table, row (from 1) and column apart.
Fault AsFault(const ScenarioFault& fault);

// Numbers in fault text: the shortest digits that read back as the same
// double, an exponent written "E" ("0.625", "40000", "1E-07", "-1E+12").
std::string FaultNumber(double value);

// What is wrong with a number in a column, if anything.
std::optional<std::string> NumberFault(const ColumnRule& column, double number);

// A cell's text as a number: decimal or exponent form ("0.5", ".5", "-3",
// "1e-7", "+2"), blanks around it allowed; nothing for anything else,
// including infinities and NaN.
std::optional<double> ParseCellText(std::string_view text);

// Readers show at most this many bytes of a cell's text in a message.
inline constexpr std::size_t ShownCellBytes = 40;

// What is wrong with a cell given as text, if anything; `number` receives its
// value. `show` makes text from a file fit for a message (escaping control
// bytes, cutting it at ShownCellBytes); the words add the quotes.
using ShowText = std::string (*)(std::string_view text);
std::optional<std::string> TextCellFault(const ColumnRule& column, std::string_view text, ShowText show,
                                         double& number);
inline constexpr std::string_view EmptyCellFault = "empty cell";
std::string NotANumberFault(std::string_view shownText);

// The fault of a table without rows, if it has none.
std::optional<ScenarioFault> EmptyTableFault(const TableRule& table, std::size_t rows);

// A row from its numbers, in the column order of its table's rule; the
// numbers must have passed their columns' rules.
ArrivalRow ArrivalFromNumbers(std::span<const double> numbers);
DeadlineRow DeadlineFromNumbers(std::span<const double> numbers);
OutletRow OutletFromNumbers(std::span<const double> numbers);

// Every rule over the rows of a table, each row's columns included (a row
// with a column out of range takes no part in the rules over rows). Faults are
// appended in the order found: row by row, then the table's end.
void CheckArrivalRows(const std::vector<ArrivalRow>& rows, std::vector<ScenarioFault>& faults);
void CheckDeadlineRows(const std::vector<DeadlineRow>& rows, std::vector<ScenarioFault>& faults);
void CheckOutletRows(const std::vector<OutletRow>& rows, std::vector<ScenarioFault>& faults);

// Arrival rows meant to ascend in time from the first, the plant at the
// start. A row whose time is not after the one before it is no fault: the
// engine runs it as stored, and recorded trials rely on that. But its second
// has gone by when it is due, so it and every row after it never arrive; the
// import says so, as a note, for each such row.
std::vector<ScenarioFault> ArrivalOrderNotes(const std::vector<ArrivalRow>& rows);

// Every rule over a scenario read from the database: each table has rows and
// obeys its rules. Faults in table order (exogenous, deadline, sorttable).
std::vector<ScenarioFault> ScenarioFaults(const ScenarioTables& tables);

}  // namespace kestu
