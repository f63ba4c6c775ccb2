// init and export: a new database, and the participant and result tables as CSV.
#include "ctl_fixture.h"

namespace kestu::ctl::testing {
namespace {

using InitTest = CtlTest;
using ExportTest = CtlTest;

TEST_F(InitTest, CreatesTheStandardScenarioInKestuMdbOrTheNamedFile)
{
    const QString elsewhere = dir_.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QDir::setCurrent(elsewhere));
    const CommandResult byDefault = Run({"init"});
    const CommandResult named = Run({"init", "--", "-new.mdb"});  // after "--" a leading dash is part of a file name
    QDir::setCurrent(QDir::tempPath());
    ASSERT_EQ(byDefault.status, ExitOk) << byDefault.err;
    const ScenarioTables scenario = Scenario((elsewhere + "/KESTU.MDB").toStdString());
    EXPECT_EQ(scenario.exogenous.size(), 17u);
    EXPECT_EQ(scenario.deadline.size(), 12u);
    EXPECT_EQ(named.status, ExitOk) << named.err;
    EXPECT_TRUE(QFile::exists(elsewhere + "/-new.mdb"));
}

TEST_F(ExportTest, ParticipantsComeOutAsRfc4180)
{
    Sql("INSERT INTO \"UserData\" VALUES ('ab12', 'Zoë', 'O''Neil, Jr.', '2', 'Physics', '21', 'F', '0'), "
        "('cd34', 'Ann \"Nan\"', 'Two\nLines', '', '', NULL, '', '0')");
    const CommandResult result = Run({"export", db_, "--table=participants"});  // a value after "=" too
    ASSERT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.out,
              "UserID,FirstName,LastName,SchoolYear,Major,Age,Sex,TrialNum\r\n"
              "ab12,Zoë,\"O'Neil, Jr.\",2,Physics,21,F,0\r\n"
              "cd34,\"Ann \"\"Nan\"\"\",\"Two\nLines\",,,,,0\r\n");
}

TEST_F(ExportTest, ExperimentsAreTheDefaultWithIsoDatesAndEmptyCellsForMissingResults)
{
    const TrialOutcome done = RecordTrial("p1", 1, 21);
    RecordTrial("p1", 2, 22, /*completeRow=*/false);  // the window closed before the end

    const CommandResult result = Run({"export", db_});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    const std::vector<std::string> lines = Rows(result.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "UserID,Experiment,Date,StartTime,EndTime,Scenario,SimRate,MissedBuckets,BusyTime,SweepTime,IdleTime");
    const std::string firstRow = "p1,1,2024-05-06,10:00:00,10:08:01,Standard,8," + std::to_string(done.missed.Total) + ",";
    EXPECT_EQ(lines[1].substr(0, firstRow.size()), firstRow);
    EXPECT_EQ(lines[2], "p1,2,2024-05-06,10:00:00,,Standard,8,,,,");

    // The shares read back to the stored doubles.
    const std::string shares = lines[1].substr(firstRow.size());
    ASSERT_TRUE(done.shares);
    EXPECT_EQ(std::stod(shares.substr(0, shares.find(','))), done.shares->BusyTime);

    // --out writes the same text to a file.
    const std::string file = Path("experiments.csv");
    const CommandResult toFile = Run({"export", db_, "--out", file});
    ASSERT_EQ(toFile.status, ExitOk) << toFile.err;
    EXPECT_TRUE(toFile.out.empty());
    EXPECT_EQ(ReadFile(file), result.out);
}

TEST_F(InitTest, InitAndExportFailuresNameTheFileAndChangeNothing)
{
    RecordTrial("p1", 1, 3);
    const std::string before = Dump("Experiments");
    ExpectFails({"init", db_}, db_ + ": already exists");  // never written over
    EXPECT_EQ(Dump("Experiments"), before);
    ExpectFails({"export", Path("none.mdb")}, Path("none.mdb") + ": the database file does not exist");
    const std::string unwritable = Path("no/such/folder/out.csv");
    ExpectFails({"export", db_, "--out", unwritable}, unwritable + ": cannot be written");
}

}  // namespace
}  // namespace kestu::ctl::testing
