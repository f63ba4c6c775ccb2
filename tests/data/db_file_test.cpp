// The database file: opened and created only where that is safe, one
// connection per instance, and the standard scenario a new file may hold.
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

TEST_F(DbFileTest, InstancesOnOneFileKeepTheirOwnConnectionsAndModes)
{
    CreateDb();
    auto writer = OpenDb(OpenMode::ReadWrite);
    auto reader = OpenDb(OpenMode::ReadOnly);
    ASSERT_TRUE(writer && reader);
    ASSERT_TRUE(writer->AddParticipant({"ann", "", "", "", "", "", "", ""}).ok());
    EXPECT_TRUE(reader->FindParticipant("ann").value().has_value());

    // A read-only instance refuses writes with a message naming the file.
    const std::string refused = reader->AddParticipant({"bob", "", "", "", "", "", "", ""}).error();
    EXPECT_EQ(refused.rfind(path_ + ": cannot add User ID \"bob\"", 0), 0u) << refused;
    EXPECT_FALSE(reader->SaveTrialNum("ann", 5).ok());
    EXPECT_EQ(Sql("SELECT group_concat(UserID || TrialNum) FROM UserData").toString(), "ann0");

    // Closing one leaves the other working, with its own mode.
    reader.reset();
    EXPECT_TRUE(writer->SaveTrialNum("ann", 2).ok());
    auto third = OpenDb(OpenMode::ReadOnly);
    EXPECT_EQ(third->FindParticipant("ann").value()->TrialNum, "2");
    EXPECT_FALSE(third->SaveTrialNum("ann", 3).ok());
}

int Seconds(ClockTime at) { return at.Minutes * 60 + at.Seconds; }

TEST_F(DbFileTest, TheStandardScenarioIsATrialOfEightMinutesThroughAPlantThatDrainsToTheRight)
{
    CreateDb(NewDbContent::StandardScenario);
    auto read = ReadScenario();
    ASSERT_TRUE(read.ok()) << read.error();
    const ScenarioTables& tables = read.value();
    // The columns experimenters load by name.
    std::string columns = "TankNum Hr Min ExpectAmt|head tail sorta|Hr Min";
    for (int t = 0; t < TankCount; ++t) columns += " " + std::to_string(t);
    EXPECT_EQ(Sql("SELECT group_concat(names, '|') FROM (SELECT (SELECT group_concat(name, ' ') FROM pragma_table_info(t)) "
                  "AS names FROM (SELECT 'deadline' AS t UNION ALL SELECT 'sorttable' UNION ALL SELECT 'exogenous'))")
                  .toString()
                  .toStdString(),
              columns);

    // Deadlines for the twelve labelled tanks, once each. The trial ends where
    // the rows, in stored order, move the end time when both their minute and
    // their second are at least those of the end so far: on the latest deadline.
    std::multiset<int> tanks;
    ClockTime end{0, 0}, latest{0, 0};
    for (const DeadlineRow& d : tables.deadline) {
        EXPECT_TRUE(d.ExpectAmt > 0 && Seconds(d.At) > 0) << "tank " << d.TankNum;
        tanks.insert(d.TankNum);
        latest = std::max(latest, d.At);
        if (d.At.Minutes >= end.Minutes && d.At.Seconds >= end.Seconds) end = d.At;
    }
    EXPECT_EQ(tanks, (std::multiset<int>{21, 22, 17, 18, 7, 8, 19, 20, 11, 12, 13, 14}));
    EXPECT_EQ(latest, (ClockTime{8, 0}));
    EXPECT_EQ(end, latest);

    // Arrivals from 0:00, every 20 to 40 seconds, until after 7:00; no water taken away.
    const auto& rows = tables.exogenous;
    ASSERT_GE(rows.size(), 12u);
    EXPECT_EQ(Seconds(rows[0].At), 0);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const int gap = Seconds(rows[i].At) - Seconds(rows[i - 1].At);
        EXPECT_TRUE(gap >= 20 && gap <= 40) << "row " << i + 1 << ": " << gap;
    }
    EXPECT_TRUE(Seconds(rows.back().At) > 7 * 60 && Seconds(rows.back().At) <= 8 * 60);
    for (const ArrivalRow& row : rows) EXPECT_GE(*std::min_element(row.Water.begin(), row.Water.end()), 0);

    // The plant's column of each tank, left to right. Water flows column by
    // column to the right and out of tanks 21 and 22; every tank but 0 is fed,
    // every one up to 20 drains, and some water is lost on the way.
    constexpr int Column[TankCount] = {1, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 5, 5};
    std::map<int, int> outlets;
    std::map<int, double> shares;
    std::set<int> fed;
    for (const OutletRow& o : tables.sorttable) {
        ASSERT_TRUE(o.head >= 0 && o.head < TankCount) << o.head;
        ++outlets[o.head];
        shares[o.head] += o.sorta;
        EXPECT_GT(o.sorta, 0) << "tank " << o.head;
        if (o.head == 21 || o.head == 22) {
            EXPECT_EQ(o.tail, -1) << "tank " << o.head;
        } else if (o.tail != -1) {
            EXPECT_GT(Column[o.tail], Column[o.head]) << o.head << " -> " << o.tail;
            fed.insert(o.tail);
        }
    }
    for (const auto& [head, count] : outlets) EXPECT_LE(count, MaxOutlets) << "tank " << head;
    for (int tank = 1; tank < TankCount; ++tank) EXPECT_TRUE(fed.count(tank)) << "nothing flows into tank " << tank;
    for (int tank = 0; tank <= 20; ++tank) EXPECT_TRUE(outlets.count(tank)) << "tank " << tank << " has no outlet";
    for (const auto& [head, sum] : shares) EXPECT_LE(sum, 1.0) << "tank " << head;
    EXPECT_TRUE(std::any_of(shares.begin(), shares.end(), [](const auto& s) { return s.second < 1.0; }));
}

}  // namespace
}  // namespace kestu::testing
