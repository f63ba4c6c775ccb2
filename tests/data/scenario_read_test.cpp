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
            std::string columns = "\"Hr\", \"Min\"";
            std::string values = std::to_string(a.minute) + ", " + std::to_string(a.second);
            for (int t = 0; t < TankCount; ++t) {
                columns += ", \"" + std::to_string(t) + "\"";
                values += ", " + std::to_string(t == a.tank ? a.amount : a.base);
            }
            Sql("INSERT INTO \"exogenous\" (" + columns + ") VALUES (" + values + ")");
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
        EXPECT_EQ(t.exogenous[i].At.Minutes, a.minute) << "row " << i + 1;
        EXPECT_EQ(t.exogenous[i].At.Seconds, a.second) << "row " << i + 1;
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

TEST_F(ScenarioReadTest, TablesImportedAsTextAndInOtherCaseReadAsNumbers)
{
    // What a spreadsheet import makes: untyped columns holding text.
    Sql("DROP TABLE \"deadline\"");
    Sql("CREATE TABLE \"Deadline\" (tanknum, HR, min, expectamt)");
    Sql("INSERT INTO \"Deadline\" VALUES (' 22', '8', '0.0', '6e1')");

    auto read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    ASSERT_EQ(read.value().deadline.size(), 1u);
    const DeadlineRow& row = read.value().deadline[0];
    EXPECT_EQ(std::vector<int>({row.TankNum, row.At.Minutes, row.At.Seconds, row.ExpectAmt}), std::vector<int>({22, 8, 0, 60}));
}

TEST_F(ScenarioReadTest, TenOutletsAddingUpToOneFitAndRecord23IsNeverCompleted)
{
    for (int i = 0; i < 8; ++i) Sql("INSERT INTO \"sorttable\" VALUES (5, 18, 0)");  // tank 5: 0.5 + 0.5 + 8 x 0
    for (int i = 0; i < 10; ++i) Sql("INSERT INTO \"sorttable\" VALUES (23, 1, 0.01)");
    auto read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    EXPECT_EQ(read.value().sorttable.size(), 22u);
}

TEST_F(ScenarioReadTest, ArrivalRowsOutOfTimeOrderAreReadAsTheEngineRunsThem)
{
    // Row 3 at 0:10 follows a row at 0:30: its second has gone by when it is
    // due, so it never arrives and holds back row 4. Recorded trials hold such
    // rows, so a stored scenario is read with them.
    Sql("UPDATE \"exogenous\" SET \"Min\" = 10, \"Hr\" = 0 WHERE rowid = 3");
    auto read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    ASSERT_EQ(read.value().exogenous.size(), Arrivals.size());
    EXPECT_EQ(read.value().exogenous[2].At, (ClockTime{0, 10}));
    EXPECT_EQ(read.value().exogenous[3].At.Minutes, 1);
}

TEST_F(ScenarioReadTest, BadDataIsReportedByTableColumnAndRowAndNothingIsReturned)
{
    struct BadData {
        std::vector<std::string> sql;
        std::string reported;  // what the message must say after the file name
    };
    const std::vector<BadData> cases = {
        {{"DROP TABLE \"deadline\""}, "table \"deadline\" is missing"},
        {{"ALTER TABLE \"sorttable\" RENAME COLUMN \"sorta\" TO \"share\""}, "table \"sorttable\", column \"sorta\" is missing"},
        {{"ALTER TABLE \"exogenous\" RENAME COLUMN \"22\" TO \"tank22\""}, "table \"exogenous\", column \"22\" is missing"},
        {{"DELETE FROM \"exogenous\""}, "table \"exogenous\" has no rows"},
        {{"DELETE FROM \"deadline\""}, "table \"deadline\" has no rows"},
        {{"DELETE FROM \"sorttable\""}, "table \"sorttable\" has no rows"},
        {{"UPDATE \"exogenous\" SET \"7\" = NULL WHERE rowid = 3"}, "table \"exogenous\", column \"7\", row 3: empty cell"},
        {{"UPDATE \"deadline\" SET \"Hr\" = '  ' WHERE rowid = 2"}, "table \"deadline\", column \"Hr\", row 2: empty cell"},
        {{"UPDATE \"deadline\" SET \"ExpectAmt\" = 'lots' WHERE rowid = 2"},
         "table \"deadline\", column \"ExpectAmt\", row 2: \"lots\" is not a number"},
        {{"UPDATE \"sorttable\" SET \"sorta\" = x'00' WHERE rowid = 1"},
         "table \"sorttable\", column \"sorta\", row 1: binary data is not a number"},
        {{"UPDATE \"deadline\" SET \"TankNum\" = 24 WHERE rowid = 3"},
         "table \"deadline\", column \"TankNum\", row 3: 24 is outside 0..23"},
        {{"UPDATE \"sorttable\" SET \"head\" = -1 WHERE rowid = 2"},
         "table \"sorttable\", column \"head\", row 2: -1 is outside 0..23"},
        {{"UPDATE \"sorttable\" SET \"tail\" = 30 WHERE rowid = 4"},
         "table \"sorttable\", column \"tail\", row 4: 30 is outside -1..23"},
        {{"UPDATE \"exogenous\" SET \"Hr\" = 1.5 WHERE rowid = 2"},
         "table \"exogenous\", column \"Hr\", row 2: 1.5 is not a whole number"},
        {{"UPDATE \"exogenous\" SET \"Min\" = 60 WHERE rowid = 4"},
         "table \"exogenous\", column \"Min\", row 4: 60 is outside 0..59"},
        {{"UPDATE \"deadline\" SET \"ExpectAmt\" = 40000 WHERE rowid = 1"},
         "table \"deadline\", column \"ExpectAmt\", row 1: 40000 is outside -32768..32767"},
        {{"UPDATE \"exogenous\" SET \"4\" = 2e12 WHERE rowid = 2"},
         "table \"exogenous\", column \"4\", row 2: 2E+12 is outside -1E+12..1E+12"},
        {{"UPDATE \"deadline\" SET \"Min\" = '0x10' WHERE rowid = 1"},
         "table \"deadline\", column \"Min\", row 1: \"0x10\" is not a number"},
        // A share is a part of what is pumped out, and together they are at most all of it.
        {{"UPDATE \"sorttable\" SET \"sorta\" = 1.5 WHERE rowid = 4"},
         "table \"sorttable\", column \"sorta\", row 4: 1.5 is outside 0..1"},
        {{"UPDATE \"sorttable\" SET \"sorta\" = '-0.25' WHERE rowid = 2"},
         "table \"sorttable\", column \"sorta\", row 2: -0.25 is outside 0..1"},
        {{"INSERT INTO \"sorttable\" VALUES (5, 18, 0.25)"},
         "table \"sorttable\", column \"sorta\", row 5: the shares of tank 5 add up to 1.25 by this row, more than 1"},
        // Rows are counted in stored order, whatever their rowids.
        {{"DELETE FROM \"exogenous\" WHERE rowid = 2", "UPDATE \"exogenous\" SET \"0\" = NULL WHERE rowid = 4"},
         "table \"exogenous\", column \"0\", row 3: empty cell"},
        // Tank 5 has rows 1 and 3; nine more make rows 5..13, the last its 11th.
        {std::vector<std::string>(9, "INSERT INTO \"sorttable\" VALUES (5, 18, 0)"),
         "table \"sorttable\", column \"head\", row 13: tank 5 has more than 10 outlet rows"},
        // Ten rows adding up to 0.875 leave no room for the entry that would carry the rest.
        {[] {
             std::vector<std::string> sql(8, "INSERT INTO \"sorttable\" VALUES (5, 18, 0.03125)");
             sql.push_back("UPDATE \"sorttable\" SET \"sorta\" = 0.125 WHERE rowid = 3");
             return sql;
         }(),
         "table \"sorttable\", column \"sorta\", row 12: the 10 shares of tank 5 add up to 0.875, not 1, "
         "and a tank has no room for an 11th outlet to carry the rest"},
    };
    for (const BadData& c : cases) {
        SCOPED_TRACE(c.reported);
        ASSERT_TRUE(QFile::remove(QString::fromStdString(path_)));
        CreateScenario();
        for (const std::string& statement : c.sql) Sql(statement);
        auto read = ReadScenario();
        ASSERT_FALSE(read.ok());
        EXPECT_EQ(read.error(), path_ + ": " + c.reported);
    }
}

}  // namespace
}  // namespace kestu::testing
