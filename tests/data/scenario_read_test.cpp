#include "db_fixture.h"

#include <vector>

namespace kestu::testing {
namespace {

// "INSERT INTO exogenous" with every tank at `base` except tank `tank` at `amount`.
std::string ArrivalInsert(int minute, int second, double base, int tank, double amount)
{
    std::string columns = "\"Hr\", \"Min\"";
    std::string values = std::to_string(minute) + ", " + std::to_string(second);
    for (int t = 0; t < TankCount; ++t) {
        columns += ", \"" + std::to_string(t) + "\"";
        values += ", " + std::to_string(t == tank ? amount : base);
    }
    return "INSERT INTO \"exogenous\" (" + columns + ") VALUES (" + values + ")";
}

// A small scenario whose rows are deliberately not sorted by any column.
class ScenarioReadTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        CreateDb();
        Sql(ArrivalInsert(0, 0, 1, 3, 5));
        Sql(ArrivalInsert(0, 30, 0, 3, 2));
        Sql(ArrivalInsert(1, 0, 0.5, 7, 0.25));
        Sql(ArrivalInsert(1, 30, 0, 22, 4));
        Sql("INSERT INTO \"deadline\" VALUES (22, 8, 0, 60)");
        Sql("INSERT INTO \"deadline\" VALUES (11, 2, 0, 30)");
        Sql("INSERT INTO \"deadline\" VALUES (7, 3, 30, 40)");
        Sql("INSERT INTO \"sorttable\" VALUES (5, 16, 0.5)");
        Sql("INSERT INTO \"sorttable\" VALUES (1, 3, 0.25)");
        Sql("INSERT INTO \"sorttable\" VALUES (5, 17, 0.5)");
        Sql("INSERT INTO \"sorttable\" VALUES (21, -1, 1)");
    }

    DbResult<ScenarioTables> Read()
    {
        auto db = OpenDb(OpenMode::ReadOnly);
        if (!db) return DbResult<ScenarioTables>::Fail("not opened");
        return db->ReadScenario();
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

    auto read = Read();
    ASSERT_TRUE(read.ok()) << read.error();
    const ScenarioTables& t = read.value();

    ASSERT_EQ(t.exogenous.size(), 4u);
    EXPECT_EQ(t.exogenous[0].Water[3], 5);
    EXPECT_EQ(t.exogenous[0].Water[0], 1);
    EXPECT_EQ(t.exogenous[1].Min, 30);
    EXPECT_EQ(t.exogenous[1].Water[3], 2);
    EXPECT_EQ(t.exogenous[2].Hr, 1);
    EXPECT_EQ(t.exogenous[2].Water[7], 0.25);
    EXPECT_EQ(t.exogenous[2].Water[8], 0.5);
    EXPECT_EQ(t.exogenous[3].Water[22], 4);

    ASSERT_EQ(t.deadline.size(), 3u);
    EXPECT_EQ(t.deadline[0].TankNum, 22);
    EXPECT_EQ(t.deadline[0].Hr, 8);
    EXPECT_EQ(t.deadline[0].ExpectAmt, 60);
    EXPECT_EQ(t.deadline[1].TankNum, 11);
    EXPECT_EQ(t.deadline[2].TankNum, 7);
    EXPECT_EQ(t.deadline[2].Min, 30);

    ASSERT_EQ(t.sorttable.size(), 4u);
    EXPECT_EQ(t.sorttable[0].head, 5);
    EXPECT_EQ(t.sorttable[0].tail, 16);
    EXPECT_EQ(t.sorttable[1].head, 1);
    EXPECT_EQ(t.sorttable[1].sorta, 0.25);
    EXPECT_EQ(t.sorttable[2].tail, 17);
    EXPECT_EQ(t.sorttable[3].tail, -1);
}

TEST_F(ScenarioReadTest, TablesImportedAsTextAndInOtherCaseReadAsNumbers)
{
    // What a spreadsheet import makes: untyped columns holding text.
    Sql("DROP TABLE \"deadline\"");
    Sql("CREATE TABLE \"Deadline\" (tanknum, HR, min, expectamt)");
    Sql("INSERT INTO \"Deadline\" VALUES (' 22', '8', '0.0', '6e1')");

    auto read = Read();
    ASSERT_TRUE(read.ok()) << read.error();
    ASSERT_EQ(read.value().deadline.size(), 1u);
    const DeadlineRow& row = read.value().deadline[0];
    EXPECT_EQ(row.TankNum, 22);
    EXPECT_EQ(row.Hr, 8);
    EXPECT_EQ(row.Min, 0);
    EXPECT_EQ(row.ExpectAmt, 60);
}

TEST_F(ScenarioReadTest, TenOutletsAddingUpToOneFitAndRecord23IsNeverCompleted)
{
    for (int i = 0; i < 8; ++i) Sql("INSERT INTO \"sorttable\" VALUES (5, 18, 0)");  // tank 5: 0.5 + 0.5 + 8 x 0
    for (int i = 0; i < 10; ++i) Sql("INSERT INTO \"sorttable\" VALUES (23, 1, 0.01)");
    auto read = Read();
    ASSERT_TRUE(read.ok()) << read.error();
    EXPECT_EQ(read.value().sorttable.size(), 22u);
}

struct BadData {
    const char* name;
    std::vector<std::string> sql;
    std::string reported;  // what the message must say after the file name
};

void PrintTo(const BadData& data, std::ostream* out) { *out << data.name; }

class BadDataTest : public ScenarioReadTest, public ::testing::WithParamInterface<BadData> {};

TEST_P(BadDataTest, IsReportedByTableColumnAndRowAndNothingIsReturned)
{
    for (const std::string& statement : GetParam().sql) Sql(statement);
    auto read = Read();
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error(), path_ + ": " + GetParam().reported);
}

std::vector<std::string> Repeat(int times, const std::string& statement)
{
    return std::vector<std::string>(times, statement);
}

INSTANTIATE_TEST_SUITE_P(
    Scenario, BadDataTest,
    ::testing::Values(
        BadData{"MissingTable", {"DROP TABLE \"deadline\""}, "table \"deadline\" is missing"},
        BadData{"MissingColumn",
                {"ALTER TABLE \"sorttable\" RENAME COLUMN \"sorta\" TO \"share\""},
                "table \"sorttable\", column \"sorta\" is missing"},
        BadData{"MissingTankColumn",
                {"ALTER TABLE \"exogenous\" RENAME COLUMN \"22\" TO \"tank22\""},
                "table \"exogenous\", column \"22\" is missing"},
        BadData{"EmptyExogenous", {"DELETE FROM \"exogenous\""}, "table \"exogenous\" has no rows"},
        BadData{"EmptyDeadline", {"DELETE FROM \"deadline\""}, "table \"deadline\" has no rows"},
        BadData{"EmptySorttable", {"DELETE FROM \"sorttable\""}, "table \"sorttable\" has no rows"},
        BadData{"NullArrival",
                {"UPDATE \"exogenous\" SET \"7\" = NULL WHERE rowid = 3"},
                "table \"exogenous\", column \"7\", row 3: empty cell"},
        BadData{"BlankText",
                {"UPDATE \"deadline\" SET \"Hr\" = '  ' WHERE rowid = 2"},
                "table \"deadline\", column \"Hr\", row 2: empty cell"},
        BadData{"Word",
                {"UPDATE \"deadline\" SET \"ExpectAmt\" = 'lots' WHERE rowid = 2"},
                "table \"deadline\", column \"ExpectAmt\", row 2: \"lots\" is not a number"},
        BadData{"Binary",
                {"UPDATE \"sorttable\" SET \"sorta\" = x'00' WHERE rowid = 1"},
                "table \"sorttable\", column \"sorta\", row 1: binary data is not a number"},
        BadData{"TankNumAbove23",
                {"UPDATE \"deadline\" SET \"TankNum\" = 24 WHERE rowid = 3"},
                "table \"deadline\", column \"TankNum\", row 3: 24 is outside 0..23"},
        BadData{"HeadBelow0",
                {"UPDATE \"sorttable\" SET \"head\" = -1 WHERE rowid = 2"},
                "table \"sorttable\", column \"head\", row 2: -1 is outside 0..23"},
        BadData{"TailPastTheTanks",
                {"UPDATE \"sorttable\" SET \"tail\" = 30 WHERE rowid = 4"},
                "table \"sorttable\", column \"tail\", row 4: 30 is outside -1..23"},
        BadData{"FractionalMinute",
                {"UPDATE \"exogenous\" SET \"Hr\" = 1.5 WHERE rowid = 2"},
                "table \"exogenous\", column \"Hr\", row 2: 1.5 is not a whole number"},
        BadData{"Second60",
                {"UPDATE \"exogenous\" SET \"Min\" = 60 WHERE rowid = 4"},
                "table \"exogenous\", column \"Min\", row 4: 60 is outside 0..59"},
        BadData{"AmountPast16Bits",
                {"UPDATE \"deadline\" SET \"ExpectAmt\" = 40000 WHERE rowid = 1"},
                "table \"deadline\", column \"ExpectAmt\", row 1: 40000 is outside -32768..32767"},
        // Rows are counted in stored order, whatever their rowids.
        BadData{"RowCountedInStoredOrder",
                {"DELETE FROM \"exogenous\" WHERE rowid = 2", "UPDATE \"exogenous\" SET \"0\" = NULL WHERE rowid = 4"},
                "table \"exogenous\", column \"0\", row 3: empty cell"},
        // Tank 5 has rows 1 and 3; nine more make rows 5..13, the last its 11th.
        BadData{"ElevenOutlets",
                Repeat(9, "INSERT INTO \"sorttable\" VALUES (5, 18, 0)"),
                "table \"sorttable\", column \"head\", row 13: tank 5 has more than 10 outlet rows"},
        // Ten rows adding up to 1.08 leave no room for the entry that would carry the rest.
        BadData{"TenOutletsNotAddingUpToOne",
                Repeat(8, "INSERT INTO \"sorttable\" VALUES (5, 18, 0.01)"),
                "table \"sorttable\", column \"sorta\", row 12: the 10 shares of tank 5 add up to 1.08, not 1, "
                "and a tank has no room for an 11th outlet to carry the rest"}),
    [](const ::testing::TestParamInfo<BadData>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestu::testing
