// Reading the scenario tables as an experimenter's SQLite tool may have left
// them. Which numbers the rules take is tests/scenario's; here, that the read
// finds the cells, in stored order, and reports a fault by file, table,
// column and row.
#include "db_fixture.h"

#include "scenario/scenario_rules.h"

#include <QFile>

#include <array>
#include <tuple>
#include <vector>

namespace kestu::testing {
namespace {

// An arrival row with every tank at `base` except tank `tank` at `amount`.
struct Arrival {
    int minute, second;
    double base;
    int tank;
    double amount;
};

// A small scenario whose rows are deliberately not sorted by any column.
const std::vector<Arrival> Arrivals = {{0, 0, 1, 3, 5}, {0, 30, 0, 3, 2}, {1, 0, 0.5, 7, 0.25}, {1, 30, 0, 22, 4}};
const std::vector<std::array<int, 4>> Deadlines = {{22, 8, 0, 60}, {11, 2, 0, 30}, {7, 3, 30, 40}};
const std::vector<std::tuple<int, int, double>> Outlets = {{5, 16, 0.5}, {1, 3, 0.25}, {5, 17, 0.5}, {21, -1, 1}};

class ScenarioReadTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        CreateScenario();
    }

    void CreateScenario()
    {
        CreateDb();
        for (const Arrival& a : Arrivals) {
            std::string values = std::to_string(a.minute) + ", " + std::to_string(a.second);
            for (int t = 0; t < TankCount; ++t) values += ", " + std::to_string(t == a.tank ? a.amount : a.base);
            Sql("INSERT INTO \"exogenous\" VALUES (" + values + ")");
        }
        for (const auto& [tank, minute, second, amount] : Deadlines) {
            Sql("INSERT INTO \"deadline\" VALUES (" + std::to_string(tank) + ", " + std::to_string(minute) + ", " +
                std::to_string(second) + ", " + std::to_string(amount) + ")");
        }
        for (const auto& [head, tail, share] : Outlets) {
            Sql("INSERT INTO \"sorttable\" VALUES (" + std::to_string(head) + ", " + std::to_string(tail) + ", " +
                std::to_string(share) + ")");
        }
    }
};

TEST_F(ScenarioReadTest, RowsComeBackInStoredOrderWithTheirValues)
{
    // An experimenter's notes column plus an index over the columns the program
    // reads: SQLite then prefers the smaller index and scans in its order.
    for (const std::string table : {"deadline", "sorttable"}) {
        Sql("ALTER TABLE \"" + table + "\" ADD COLUMN \"note\" TEXT");
        Sql("UPDATE \"" + table + "\" SET \"note\" = '" + std::string(200, 'n') + "'");
    }
    Sql("CREATE INDEX \"deadline_read\" ON \"deadline\" (\"TankNum\", \"Hr\", \"Min\", \"ExpectAmt\")");
    Sql("CREATE INDEX \"sorttable_read\" ON \"sorttable\" (\"head\", \"tail\", \"sorta\")");

    auto read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    const ScenarioTables& t = read.value();
    ASSERT_EQ(t.exogenous.size(), Arrivals.size());
    for (std::size_t i = 0; i < Arrivals.size(); ++i) {
        const Arrival& a = Arrivals[i];
        EXPECT_EQ(t.exogenous[i].At, (ClockTime{a.minute, a.second})) << "row " << i + 1;
        for (int tank = 0; tank < TankCount; ++tank) {
            EXPECT_EQ(t.exogenous[i].Water[tank], tank == a.tank ? a.amount : a.base) << "row " << i + 1 << " tank " << tank;
        }
    }
    std::vector<std::array<int, 4>> deadlines;
    for (const DeadlineRow& d : t.deadline) deadlines.push_back({d.TankNum, d.At.Minutes, d.At.Seconds, d.ExpectAmt});
    EXPECT_EQ(deadlines, Deadlines);
    std::vector<std::tuple<int, int, double>> outlets;
    for (const OutletRow& o : t.sorttable) outlets.emplace_back(o.head, o.tail, o.sorta);
    EXPECT_EQ(outlets, Outlets);
}

TEST_F(ScenarioReadTest, TextCellsInColumnsOfAnotherCaseAndRowsOutOfTimeOrderAreRead)
{
    // What a spreadsheet import makes: untyped columns holding text.
    Sql("DROP TABLE \"deadline\"");
    Sql("CREATE TABLE \"Deadline\" (tanknum, HR, min, expectamt)");
    Sql("INSERT INTO \"Deadline\" VALUES (' 22', '8', '0.0', '6e1')");
    // Row 3 at 0:10 follows a row at 0:30, so it never arrives and holds back
    // row 4; recorded trials hold such rows, so the engine is left to run them.
    Sql("UPDATE \"exogenous\" SET \"Min\" = 10, \"Hr\" = 0 WHERE rowid = 3");

    auto read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    ASSERT_EQ(read.value().deadline.size(), 1u);
    const DeadlineRow& row = read.value().deadline[0];
    EXPECT_EQ(std::vector<int>({row.TankNum, row.At.Minutes, row.At.Seconds, row.ExpectAmt}), std::vector<int>({22, 8, 0, 60}));
    ASSERT_EQ(read.value().exogenous.size(), Arrivals.size());
    EXPECT_EQ(read.value().exogenous[2].At, (ClockTime{0, 10}));
}

TEST_F(ScenarioReadTest, BadDataIsReportedByTableColumnAndRowAndNothingIsReturned)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"DROP TABLE \"deadline\""}, "table \"deadline\" is missing"},
        {{"ALTER TABLE \"exogenous\" RENAME COLUMN \"22\" TO \"tank22\""}, "table \"exogenous\", column \"22\" is missing"},
        {{"DELETE FROM \"sorttable\""}, "table \"sorttable\" has no rows"},
        {{"UPDATE \"exogenous\" SET \"7\" = NULL WHERE rowid = 3"}, "table \"exogenous\", column \"7\", row 3: empty cell"},
        {{"UPDATE \"deadline\" SET \"Hr\" = '  ' WHERE rowid = 2"}, "table \"deadline\", column \"Hr\", row 2: empty cell"},
        {{"UPDATE \"deadline\" SET \"ExpectAmt\" = 'lots' WHERE rowid = 2"},
         "table \"deadline\", column \"ExpectAmt\", row 2: \"lots\" is not a number"},
        {{"UPDATE \"sorttable\" SET \"sorta\" = x'00' WHERE rowid = 1"},
         "table \"sorttable\", column \"sorta\", row 1: binary data is not a number"},
        {{"UPDATE \"sorttable\" SET \"tail\" = 30 WHERE rowid = 4"},
         "table \"sorttable\", column \"tail\", row 4: 30 is outside -1..23"},
        {{"UPDATE \"exogenous\" SET \"Hr\" = 1.5 WHERE rowid = 2"},
         "table \"exogenous\", column \"Hr\", row 2: 1.5 is not a whole number"},
        // The rules over rows, after every cell is read.
        {{"INSERT INTO \"sorttable\" VALUES (5, 18, 0.25)"},
         "table \"sorttable\", column \"sorta\", row 5: the shares of tank 5 add up to 1.25 by this row, more than 1"},
        // Rows are counted in stored order, whatever their rowids.
        {{"DELETE FROM \"exogenous\" WHERE rowid = 2", "UPDATE \"exogenous\" SET \"0\" = NULL WHERE rowid = 4"},
         "table \"exogenous\", column \"0\", row 3: empty cell"},
    };
    for (const auto& [sql, reported] : cases) {
        SCOPED_TRACE(reported);
        ASSERT_TRUE(QFile::remove(QString::fromStdString(path_)));
        CreateScenario();
        for (const std::string& statement : sql) Sql(statement);
        auto read = ReadScenario();
        ASSERT_FALSE(read.ok());
        EXPECT_EQ(read.error(), path_ + ": " + reported);
    }
}

}  // namespace
}  // namespace kestu::testing
