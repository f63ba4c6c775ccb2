// The database file: opened and created only where that is safe, and the
// standard scenario a new file may hold.
#include "db_fixture.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <set>

namespace kestu::testing {
namespace {

using DbFileTest = DbTest;

TEST_F(DbFileTest, OpeningAMissingFileOrANonDatabaseFailsNamingItAndCreatesNothing)
{
    EXPECT_EQ(ExperimentDb::DefaultPath("/opt/kestu"), "/opt/kestu/KESTU.MDB");
    EXPECT_EQ(ExperimentDb::DefaultPath("/opt/kestu/"), "/opt/kestu/KESTU.MDB");
    for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite}) {
        EXPECT_EQ(ExperimentDb::Open(path_, mode).error(), path_ + ": the database file does not exist");
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path_)));
    }
    QFile file(QString::fromStdString(path_));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096);
    file.close();
    const std::string refused = ExperimentDb::Open(path_, OpenMode::ReadOnly).error();
    EXPECT_EQ(refused.rfind(path_ + ": cannot read the file as a database", 0), 0u) << refused;
}

TEST_F(DbFileTest, CreateRefusesAnExistingFileOrAMissingFolderAndChangesNothing)
{
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

// The design of the standard scenario (arrivals every 20 to 40 seconds, the
// twelve deadlines ending at 8:00, outlets into the next column only) is
// asserted by tools/make_standard_scenario.py, whose output the test
// standard_scenario_is_generated compares with data/standard_scenario.sql.
// Here: the tables as the program reads them, and what a plant needs beyond that.
TEST_F(DbFileTest, TheStandardScenarioFeedsEveryTankDrainsAllButTheLastColumnAndLosesSomeWater)
{
    CreateDb(NewDbContent::StandardScenario);
    auto read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    const ScenarioTables& tables = read.value();
    EXPECT_EQ(std::vector<std::size_t>({tables.exogenous.size(), tables.deadline.size(), tables.sorttable.size()}),
              std::vector<std::size_t>({17, 12, 35}));
    // The columns experimenters load by name.
    std::string columns = "TankNum Hr Min ExpectAmt|head tail sorta|Hr Min";
    for (int t = 0; t < TankCount; ++t) columns += " " + std::to_string(t);
    EXPECT_EQ(Sql("SELECT group_concat(names, '|') FROM (SELECT (SELECT group_concat(name, ' ') FROM pragma_table_info(t)) "
                  "AS names FROM (SELECT 'deadline' AS t UNION ALL SELECT 'sorttable' UNION ALL SELECT 'exogenous'))")
                  .toString()
                  .toStdString(),
              columns);

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

}  // namespace
}  // namespace kestu::testing
