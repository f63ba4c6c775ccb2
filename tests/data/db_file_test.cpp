// The database file, the standard scenario a new one may hold, and the
// scenario tables read as an experimenter's SQLite tool may have left them
// (which numbers the rules take is tests/scenario's).
#include "db_fixture.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <set>


namespace kestu::testing {
namespace {

using DbFileTest = DbTest;

TEST_F(DbFileTest, OpenAndCreateRefuseAMissingFileANonDatabaseAnExistingFileOrAMissingFolderNamingIt)
{
    EXPECT_EQ(ExperimentDb::DefaultPath("/opt/kestu"), "/opt/kestu/KESTU.MDB");
    EXPECT_EQ(ExperimentDb::DefaultPath("/opt/kestu/"), "/opt/kestu/KESTU.MDB");
    for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite}) {
        EXPECT_EQ(ExperimentDb::Open(path_, mode).error(), path_ + ": the database file does not exist");
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path_)));
    }
    ASSERT_TRUE(std::ofstream(path_) << std::string(4096, 'x'));
    const std::string refused = ExperimentDb::Open(path_, OpenMode::ReadOnly).error();
    EXPECT_EQ(refused.rfind(path_ + ": cannot read the file as a database", 0), 0u) << refused;

    ASSERT_TRUE(QFile::remove(QString::fromStdString(path_)));
    CreateDb();
    Sql("INSERT INTO \"UserData\" (\"UserID\") VALUES ('ann')");
    for (NewDbContent content : {NewDbContent::SchemaOnly, NewDbContent::StandardScenario}) {
        EXPECT_EQ(ExperimentDb::Create(path_, content).error(),
                  path_ + ": already exists; a new database is never written over it");
    }
    EXPECT_EQ(Count("UserData"), 1);
    EXPECT_EQ(Count("exogenous"), 0);

    const std::string path = path_ + ".d/KESTU.MDB";
    EXPECT_EQ(ExperimentDb::Create(path, NewDbContent::StandardScenario).error(),
              path + ": cannot create the database: its folder does not exist");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path_ + ".d")));
}

// The scenario's design is asserted by its generator, whose output the test
// standard_scenario_is_generated compares with the SQL; here, what a plant needs beyond it.
TEST_F(DbFileTest, TheStandardScenarioFeedsEveryTankDrainsAllButTheLastColumnAndLosesSomeWater)
{
    CreateDb(NewDbContent::StandardScenario);
    auto read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    const ScenarioTables& tables = read.value();
    EXPECT_EQ(std::vector<std::size_t>({tables.exogenous.size(), tables.deadline.size(), tables.sorttable.size()}),
              std::vector<std::size_t>({17, 12, 35}));
    // The columns experimenters load by name.
    std::string columns, expected = "TankNum Hr Min ExpectAmt|head tail sorta|Hr Min";
    for (int t = 0; t < TankCount; ++t) expected += " " + std::to_string(t);
    for (const std::string table : {"deadline", "sorttable", "exogenous"}) {
        const QVariant names = Sql("SELECT group_concat(name, ' ') FROM pragma_table_info('" + table + "')");
        columns += (columns.empty() ? "" : "|") + names.toString().toStdString();
    }
    EXPECT_EQ(columns, expected);

    for (const DeadlineRow& d : tables.deadline) EXPECT_GT(d.ExpectAmt, 0) << "tank " << d.TankNum;
    for (const ArrivalRow& row : tables.exogenous) EXPECT_GE(*std::min_element(row.Water.begin(), row.Water.end()), 0);
    std::set<int> fed, draining;
    std::map<int, double> shares;
    for (const OutletRow& o : tables.sorttable) {
        EXPECT_GT(o.sorta, 0) << "tank " << o.head;
        draining.insert(o.head);
        fed.insert(o.tail);
        shares[o.head] += o.sorta;
    }
    for (int tank = 1; tank < TankCount; ++tank) EXPECT_TRUE(fed.count(tank)) << "nothing flows into tank " << tank;
    for (int tank = 0; tank <= 20; ++tank) EXPECT_TRUE(draining.count(tank)) << "tank " << tank << " has no outlet";
    EXPECT_TRUE(std::any_of(shares.begin(), shares.end(), [](const auto& s) { return s.second < 1.0; }))
        << "some tank should lose part of its water";
}

// Each table's rows as the numbers of its columns, in stored order.
using Rows = std::vector<std::vector<double>>;
std::vector<Rows> Numbers(const ScenarioTables& t)
{
    std::vector<Rows> tables(3);
    for (const ArrivalRow& r : t.exogenous) {
        tables[0].push_back({double(r.At.Minutes), double(r.At.Seconds)});
        tables[0].back().insert(tables[0].back().end(), r.Water.begin(), r.Water.end());
    }
    for (const DeadlineRow& r : t.deadline) {
        tables[1].push_back({double(r.TankNum), double(r.At.Minutes), double(r.At.Seconds), double(r.ExpectAmt)});
    }
    for (const OutletRow& r : t.sorttable) tables[2].push_back({double(r.head), double(r.tail), r.sorta});
    return tables;
}

// A small scenario whose rows are sorted by no column.
std::vector<Rows> Scenario()
{
    Rows arrivals;
    for (auto [minute, second, base, tank, amount] : std::vector<std::array<double, 5>>{
             {0, 0, 1, 3, 5}, {0, 30, 0, 3, 2}, {1, 0, 0.5, 7, 0.25}, {1, 30, 0, 22, 4}}) {
        arrivals.push_back({minute, second});
        for (int t = 0; t < TankCount; ++t) arrivals.back().push_back(t == tank ? amount : base);
    }
    return {arrivals, {{22, 8, 0, 60}, {11, 2, 0, 30}, {7, 3, 30, 40}}, {{5, 16, 0.5}, {1, 3, 0.25}, {5, 17, 0.5}, {21, -1, 1}}};
}

class ScenarioReadTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        CreateScenario();
    }

    // Rows written by position, so the columns must be the program's in its order.
    void CreateScenario()
    {
        CreateDb();
        const std::vector<Rows> tables = Scenario();
        for (std::size_t table = 0; table < 3; ++table) {
            for (const auto& row : tables[table]) {
                std::string values;
                for (double v : row) values += (values.empty() ? "" : ", ") + std::to_string(v);
                Sql("INSERT INTO \"" + std::string(ScenarioTableName(AllScenarioTables[table])) + "\" VALUES (" + values + ")");
            }
        }
    }
};

TEST_F(ScenarioReadTest, RowsComeBackInStoredOrderWithTheirValuesAsNumbersOrText)
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
    EXPECT_EQ(Numbers(read.value()), Scenario());

    // What a spreadsheet import makes: untyped columns holding text.
    Sql("DROP TABLE \"deadline\"");
    Sql("CREATE TABLE \"Deadline\" (tanknum, HR, min, expectamt)");
    Sql("INSERT INTO \"Deadline\" VALUES (' 22', '8', '0.0', '6e1')");
    // Row 3 at 0:10 after a row at 0:30 never arrives; recorded trials hold such rows.
    Sql("UPDATE \"exogenous\" SET \"Min\" = 10, \"Hr\" = 0 WHERE rowid = 3");
    read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    EXPECT_EQ(Numbers(read.value())[1], (Rows{{22, 8, 0, 60}}));
    ASSERT_EQ(read.value().exogenous.size(), 4u);
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
        EXPECT_EQ(ReadScenario().error(), path_ + ": " + reported);
    }
}

}  // namespace
}  // namespace kestu::testing
