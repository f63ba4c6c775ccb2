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

TEST_F(DbFileTest, OpeningAMissingFileNamesItAndCreatesNothing)
{
    for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite}) {
        auto opened = ExperimentDb::Open(path_, mode);
        ASSERT_FALSE(opened.ok());
        EXPECT_NE(opened.error().find(path_), std::string::npos) << opened.error();
        EXPECT_FALSE(Exists(path_));
    }
}

TEST_F(DbFileTest, OpeningAFileThatIsNotADatabaseFails)
{
    QFile file(QString::fromStdString(path_));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();

    auto opened = ExperimentDb::Open(path_, OpenMode::ReadOnly);
    ASSERT_FALSE(opened.ok());
    EXPECT_NE(opened.error().find(path_), std::string::npos) << opened.error();
}

TEST_F(DbFileTest, CreateRefusesAnExistingFileAndLeavesItAlone)
{
    CreateDb();
    Sql("INSERT INTO \"UserData\" (\"UserID\") VALUES ('ann')");

    for (NewDbContent content : {NewDbContent::SchemaOnly, NewDbContent::StandardScenario}) {
        auto again = ExperimentDb::Create(path_, content);
        ASSERT_FALSE(again.ok());
        EXPECT_NE(again.error().find(path_), std::string::npos) << again.error();
    }
    EXPECT_EQ(SqlValue("SELECT count(*) FROM \"UserData\"").toInt(), 1);
    EXPECT_EQ(SqlValue("SELECT count(*) FROM \"exogenous\"").toInt(), 0);
}

TEST_F(DbFileTest, CreateInAMissingFolderFailsWithoutMakingIt)
{
    const std::string path = path_ + ".d/KESTU.MDB";
    auto created = ExperimentDb::Create(path, NewDbContent::StandardScenario);
    ASSERT_FALSE(created.ok());
    EXPECT_NE(created.error().find(path), std::string::npos) << created.error();
    EXPECT_FALSE(Exists(path_ + ".d"));
}

TEST_F(DbFileTest, InstancesOnOneFileKeepTheirOwnConnections)
{
    CreateDb();
    auto writer = OpenDb(OpenMode::ReadWrite);
    auto reader = OpenDb(OpenMode::ReadOnly);
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader, nullptr);

    Participant ann;
    ann.UserID = "ann";
    ASSERT_TRUE(writer->AddParticipant(ann).ok());
    EXPECT_TRUE(reader->FindParticipant("ann").value().has_value());

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
