#include "db_fixture.h"

#include <QFile>
#include <QFileInfo>

namespace kestu::testing {
namespace {

using DbFileTest = DbTest;

bool Exists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

TEST(DefaultPathTest, PutsTheFileInTheProgramFolder)
{
    EXPECT_EQ(ExperimentDb::DefaultPath("/opt/kestu"), "/opt/kestu/KESTU.MDB");
    EXPECT_EQ(ExperimentDb::DefaultPath("/opt/kestu/"), "/opt/kestu/KESTU.MDB");
}

TEST_F(DbFileTest, OpeningAMissingFileOrANonDatabaseFailsNamingItAndCreatesNothing)
{
    for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite}) {
        EXPECT_EQ(ExperimentDb::Open(path_, mode).error(), path_ + ": the database file does not exist");
        EXPECT_FALSE(Exists(path_));
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
    EXPECT_FALSE(Exists(path_ + ".d"));
}

TEST_F(DbFileTest, InstancesOnOneFileKeepTheirOwnConnectionsAndModes)
{
    CreateDb();
    auto writer = OpenDb(OpenMode::ReadWrite);
    auto reader = OpenDb(OpenMode::ReadOnly);
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader, nullptr);

    ASSERT_TRUE(writer->AddParticipant({"ann", "", "", "", "", "", "", ""}).ok());
    EXPECT_TRUE(reader->FindParticipant("ann").value().has_value());

    // A read-only instance refuses writes with a message naming the file.
    const std::string refused = reader->AddParticipant({"bob", "", "", "", "", "", "", ""}).error();
    EXPECT_EQ(refused.rfind(path_ + ": cannot add User ID \"bob\"", 0), 0u) << refused;
    EXPECT_FALSE(reader->SaveTrialNum("ann", 5).ok());
    EXPECT_EQ(reader->FindParticipant("ann").value()->TrialNum, "0");
    EXPECT_EQ(Count("UserData"), 1);

    // Closing one leaves the other working, with its own mode.
    reader.reset();
    EXPECT_TRUE(writer->SaveTrialNum("ann", 2).ok());
    auto third = OpenDb(OpenMode::ReadOnly);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->FindParticipant("ann").value()->TrialNum, "2");
    EXPECT_FALSE(third->SaveTrialNum("ann", 3).ok());
}

}  // namespace
}  // namespace kestu::testing
