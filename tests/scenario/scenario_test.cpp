// The scenario rules on their own: which numbers, texts and rows they take,
// and the words of what they refuse, which every reader passes on unchanged;
// then what the reference trials may not reach of the deadlines and results.
// The outlet completion entries are pinned by the reference trials' snapshots.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "scenario/deadlines.h"
#include "scenario/outlets.h"
#include "scenario/results.h"
#include "scenario/scenario_rules.h"
#include "scenario/trial_setup.h"

namespace kestu {
namespace {

const ColumnRule& ColumnOf(const TableRule& table, const std::string& name)
{
    for (const ColumnRule& column : table.columns) {
        if (column.name == name) return column;
    }
    ADD_FAILURE() << "no column " << name << " in " << table.name;
    return table.columns.front();
}

std::string Echo(std::string_view text) { return "<" + std::string(text) + ">"; }

std::vector<std::string> Words(const std::vector<ScenarioFault>& faults)
{
    std::vector<std::string> words;
    for (const ScenarioFault& fault : faults) words.push_back(InTable(fault));
    return words;
}

TEST(ScenarioRules, EveryColumnTakesItsRangeAndNothingBeyond)
{
    struct Case {
        const TableRule& table;
        std::string column;
        double value;
        std::string fault;  // empty: accepted
    };
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        {ArrivalTableRule(), "Hr", 32768, "32768 is outside 0..32767"},
        {ArrivalTableRule(), "Hr", -1, "-1 is outside 0..32767"},
        {ArrivalTableRule(), "Min", 59, ""},
        {ArrivalTableRule(), "Min", 60, "60 is outside 0..59"},
        {ArrivalTableRule(), "Min", 0.5, "0.5 is not a whole number"},
        {ArrivalTableRule(), "22", 1e12, ""},
        {ArrivalTableRule(), "7", 2e12, "2E+12 is outside -1E+12..1E+12"},
        {ArrivalTableRule(), "7", inf, "inf is not a number"},
        {ArrivalTableRule(), "7", std::nan(""), "nan is not a number"},
        {DeadlineTableRule(), "TankNum", 23, ""},
        {DeadlineTableRule(), "TankNum", 24, "24 is outside 0..23"},
        {DeadlineTableRule(), "ExpectAmt", 40000, "40000 is outside -32768..32767"},
        {OutletTableRule(), "head", -1, "-1 is outside 0..23"},
        {OutletTableRule(), "tail", -1, ""},
        {OutletTableRule(), "tail", -2, "-2 is outside -1..23"},
        {OutletTableRule(), "sorta", 1, ""},
        {OutletTableRule(), "sorta", 1.0000000000000002, "1.0000000000000002 is outside 0..1"},
        {OutletTableRule(), "sorta", -1e-7, "-1E-07 is outside 0..1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table.name + "." + c.column + " = " + FaultNumber(c.value));
        EXPECT_EQ(NumberFault(ColumnOf(c.table, c.column), c.value).value_or(""), c.fault);
    }
}

TEST(ScenarioRules, CellTextReadsAsANumberOnlyWhenItIsOne)
{
    struct Case {
        std::string text;
        std::string fault;  // empty: accepted
        double number = 0;
    };
    const std::vector<Case> cases = {
        {"12", "", 12},
        {" 12\t", "", 12},
        {"12\r\n", "", 12},
        {"+3", "", 3},
        {"1.2E1", "", 12},
        {"5.", "", 5},
        {"12.0", "", 12},
        {" \t ", "empty cell"},
        {"1,5", "\"<1,5>\" is not a number"},
        {"0x10", "\"<0x10>\" is not a number"},
        {"1 2", "\"<1 2>\" is not a number"},
        {"inf", "\"<inf>\" is not a number"},
        {"1e999", "\"<1e999>\" is not a number"},
        {"12.5", "12.5 is not a whole number"},
        {"-0", "", 0},
    };
    const ColumnRule& column = ColumnOf(DeadlineTableRule(), "ExpectAmt");
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        double number = -99;
        EXPECT_EQ(TextCellFault(column, c.text, Echo, number).value_or(""), c.fault);
        if (c.fault.empty()) {
            EXPECT_EQ(number, c.number);
        }
    }
}

std::vector<OutletRow> Repeat(int times, OutletRow row) { return std::vector<OutletRow>(times, row); }

std::vector<OutletRow> Join(std::vector<OutletRow> a, const std::vector<OutletRow>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ScenarioRules, OutletRowsTogether)
{
    struct Case {
        std::string name;
        std::vector<OutletRow> rows;
        std::vector<std::string> faults;
    };
    const auto fault = [](const char* column, int row, const std::string& text) {
        return "table \"sorttable\", column \"" + std::string(column) + "\", row " + std::to_string(row) + ": " + text;
    };
    const std::string noRoom = ", not 1, and a tank has no room for an 11th outlet to carry the rest";
    const std::vector<Case> cases = {
        {"ten rows adding up to 1", Join(Repeat(8, {4, 5, 0.0625}), Repeat(2, {4, -1, 0.25})), {}},
        {"shares past 1 by rounding only", {{0, 1, 0.33}, {0, 2, 0.56}, {0, -1, 0.11}}, {}},
        {"eleven rows", Repeat(11, {6, 7, 0.05}), {fault("head", 11, "tank 6 has more than 10 outlet rows")}},
        {"shares past 1 by more than rounding", {{0, 1, 0.5}, {3, 2, 1}, {0, 2, 0.5}, {0, 3, 1e-8}, {0, 4, 0.2}},
         {fault("sorta", 4, "the shares of tank 0 add up to 1.00000001 by this row, more than 1")}},
        {"ten shares short of 1", Join(Repeat(9, {5, 6, 0.1}), {{8, 9, 1}, {5, 6, 0.05}}),
         {fault("sorta", 11, "the 10 shares of tank 5 add up to 0.95" + noRoom)}},
        // Ten shares of 0.1 fall short of 1 in the last bit; the program compares exactly.
        {"ten shares short of 1 by rounding", Repeat(10, {5, 6, 0.1}),
         {fault("sorta", 10, "the 10 shares of tank 5 add up to 0.9999999999999999" + noRoom)}},
        // The spare record 23 is never completed, so its shares need not add up to 1.
        {"record 23", Repeat(10, {23, 1, 0.01}), {}},
        {"a tank out of range", {{24, 1, 1.0}}, {fault("head", 1, "24 is outside 0..23")}},
        {"a row out of range is not counted",
         Join(Join(Repeat(8, {6, 7, 0.0625}), Repeat(2, {6, 8, 0.25})), {{6, 24, 0.1}}), {fault("tail", 11, "24 is outside -1..23")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ScenarioFault> faults;
        CheckOutletRows(c.rows, faults);
        EXPECT_EQ(Words(faults), c.faults);
        // The plant takes exactly the rows the rules take, and says the same;
        // rows it refuses change nothing.
        PlantState plant;
        plant.Tanks[2].Water = 5;
        EXPECT_EQ(LoadOutlets(plant, c.rows).error(), c.faults.empty() ? "" : c.faults.front());
        EXPECT_EQ(plant.Tanks[2].Water, c.faults.empty() ? 0 : 5);
    }
}

TEST(ScenarioRules, ArrivalRowsOutOfOrderAreNotedNotRefused)
{
    const auto at = [](int minute, int second) { return ArrivalRow{{minute, second}, {}}; };
    struct Case {
        std::vector<ArrivalRow> rows;
        std::vector<std::string> notes;
    };
    const auto note = [](int row, const char* time, const char* before) {
        return "table \"exogenous\", row " + std::to_string(row) + ": time " + time +
               " is not after the time before it, " + before + ", so this row and every row after it never arrive";
    };
    const std::vector<Case> cases = {
        {{at(0, 0), at(0, 25), at(1, 0), at(10, 59)}, {}},
        {{at(0, 0), at(0, 25), at(0, 25)}, {note(3, "00:25", "00:25")}},
        {{at(0, 30), at(0, 25), at(0, 40), at(0, 35)}, {note(2, "00:25", "00:30"), note(4, "00:35", "00:40")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notes.empty() ? "ascending" : c.notes.front());
        EXPECT_EQ(Words(ArrivalOrderNotes(c.rows)), c.notes);
        std::vector<ScenarioFault> faults;
        CheckArrivalRows(c.rows, faults);
        EXPECT_TRUE(faults.empty());
    }
}

TEST(ScenarioRules, TheTrialSetupRefusesTheFirstFaultInTableOrder)
{
    ScenarioTables good;
    good.exogenous = {{0, 0, {}}, {0, 25, {}}};
    good.deadline = {{7, 2, 0, 40}};
    good.sorttable = {{0, 1, 1}};
    ASSERT_TRUE(CheckScenario(good).ok());

    struct Case {
        std::function<void(ScenarioTables&)> edit;
        std::string fault;
    };
    const std::vector<Case> cases = {
        {[](ScenarioTables& t) { t.exogenous.clear(); }, "table \"exogenous\" has no rows"},
        {[](ScenarioTables& t) { t.exogenous[1].Water[3] = -1.5e12; },
         "table \"exogenous\", column \"3\", row 2: -1.5E+12 is outside -1E+12..1E+12"},
        {[](ScenarioTables& t) { t.sorttable[0].sorta = 1.5; },
         "table \"sorttable\", column \"sorta\", row 1: 1.5 is outside 0..1"},
        // The arrival table comes first, whatever else is wrong.
        {[](ScenarioTables& t) {
             t.deadline.clear();
             t.exogenous[0].At.Minutes = -1;
         },
         "table \"exogenous\", column \"Hr\", row 1: -1 is outside 0..32767"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        ScenarioTables tables = good;
        c.edit(tables);
        EXPECT_EQ(CheckScenario(tables).error(), c.fault);
    }
}

// Every setup starts from no deadline and a later row for the same tank wins;
// deadlines are judged on their second, and negative amounts lower the total.
// (The end time is the reference trials' and the Training trial test's.)
TEST(Deadlines, LaterRowsWinAndEachDeadlineIsJudgedOnItsSecond)
{
    PlantState plant;
    LoadDeadlines(plant, {{7, 2, 0, 40}}, false);
    LoadDeadlines(plant, {{8, 3, 15, 10}, {8, 4, 20, 12}}, false);
    EXPECT_EQ(std::tuple(plant.Tanks[7].Deadline, plant.Tanks[7].ExpectAmt), std::tuple(ClockTime{}, 0));
    EXPECT_EQ(std::tuple(plant.Tanks[8].Deadline, plant.Tanks[8].ExpectAmt), std::tuple(ClockTime{4, 20}, 12));

    LoadDeadlines(plant, {{3, 2, 10, 7}, {5, 2, 10, 4}, {9, 2, 11, 9}}, false);
    plant.Tanks[5].ExpectAmt = -3;
    plant.Clock = {2, 10};
    MissedTally tally;
    JudgeDeadlines(plant, tally);
    EXPECT_EQ(std::tuple(tally.Total, tally.PerTank[3], tally.PerTank[5]), std::tuple(4, 7, -3));
    EXPECT_FALSE(tally.PerTank[9].has_value());
    EXPECT_FALSE(tally.PerTank[0].has_value());  // tanks without a deadline are judged at 0:00 only
}

// No 16-bit product: 20,000 ticks of five pumps.
TEST(Results, SharesOfThePumpCapacityHoldForLongTrials)
{
    const auto shares = ComputeShares(20000, 50000, 25000);
    ASSERT_TRUE(shares.has_value());
    EXPECT_EQ(std::tuple(shares->BusyTime, shares->SweepTime, shares->IdleTime), std::tuple(0.5, 0.25, 0.25));
}

}  // namespace
}  // namespace kestu
