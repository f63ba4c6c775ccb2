// init and export: a new database, and the participant and result tables as CSV.
#include "ctl_fixture.h"

namespace kestu::ctl::testing {
namespace {

using InitTest = CtlTest;

TEST_F(InitTest, CreatesADatabaseWithTheStandardScenario)
{
    const std::string path = Path("new.mdb");
    const CommandResult result = Run({"init", path});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    auto db = ExperimentDb::Open(path, OpenMode::ReadOnly);
    ASSERT_TRUE(db.ok()) << db.error();
    auto scenario = db.value()->ReadScenario();
    ASSERT_TRUE(scenario.ok()) << scenario.error();
    EXPECT_EQ(scenario.value().exogenous.size(), 17u);
    EXPECT_EQ(scenario.value().deadline.size(), 12u);
}

TEST_F(InitTest, DefaultsToKestuMdbInTheCurrentFolder)
{
    const QString elsewhere = dir_.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QDir::setCurrent(elsewhere));
    const CommandResult result = Run({"init"});
    QDir::setCurrent(QDir::tempPath());
    EXPECT_EQ(result.status, ExitOk) << result.err;
    EXPECT_TRUE(QFile::exists(elsewhere + "/KESTU.MDB"));
}

TEST_F(InitTest, NeverWritesOverAnExistingFile)
{
    RecordTrial("p1", 1, 3);
    const std::string before = Dump("Experiments");
    const CommandResult result = Run({"init", db_});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.err.find(db_ + ": already exists"), std::string::npos) << result.err;
    EXPECT_EQ(Dump("Experiments"), before);
}

class ExportTest : public CtlTest {
protected:
    void AddParticipant(const Participant& p)
    {
        auto db = ExperimentDb::Open(db_, OpenMode::ReadWrite);
        ASSERT_TRUE(db.ok()) << db.error();
        auto added = db.value()->AddParticipant(p);
        ASSERT_TRUE(added.ok()) << added.error();
    }
};

TEST_F(ExportTest, ParticipantsComeOutAsRfc4180)
{
    AddParticipant({"ab12", "Zoë", "O'Neil, Jr.", "2", "Physics", "21", "F", ""});
    AddParticipant({"cd34", "Ann \"Nan\"", "Two\nLines", "", "", "", "", ""});
    Sql("UPDATE \"UserData\" SET \"Age\" = NULL WHERE \"UserID\" = 'cd34'");

    const CommandResult result = Run({"export", db_, "--table", "participants"});
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
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < result.out.size();) {
        const auto end = result.out.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every row ends with CR LF";
        lines.push_back(result.out.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "UserID,Experiment,Date,StartTime,EndTime,Scenario,SimRate,MissedBuckets,BusyTime,SweepTime,IdleTime");
    const std::string firstRow = "p1,1,2024-05-06,10:00:00,10:08:01,Standard,8," + std::to_string(done.missed.Total) + ",";
    EXPECT_EQ(lines[1].substr(0, firstRow.size()), firstRow);
    EXPECT_EQ(lines[2], "p1,2,2024-05-06,10:00:00,,Standard,8,,,,");

    // The shares read back to the stored doubles.
    const std::string shares = lines[1].substr(firstRow.size());
    const auto comma = shares.find(',');
    ASSERT_TRUE(done.shares);
    EXPECT_EQ(std::stod(shares.substr(0, comma)), done.shares->BusyTime);
}

TEST_F(ExportTest, OutWritesTheSameTextToAFile)
{
    RecordTrial("p1", 1, 5);
    const std::string file = Path("experiments.csv");
    const CommandResult toFile = Run({"export", db_, "--out", file});
    ASSERT_EQ(toFile.status, ExitOk) << toFile.err;
    EXPECT_TRUE(toFile.out.empty());
    EXPECT_EQ(ReadFile(file), Run({"export", db_}).out);
}

TEST_F(ExportTest, FailuresNameTheFile)
{
    const CommandResult missing = Run({"export", Path("none.mdb")});
    EXPECT_EQ(missing.status, ExitFailure);
    EXPECT_NE(missing.err.find(Path("none.mdb") + ": the database file does not exist"), std::string::npos);

    const std::string unwritable = Path("no/such/folder/out.csv");
    const CommandResult badOut = Run({"export", db_, "--out", unwritable});
    EXPECT_EQ(badOut.status, ExitFailure);
    EXPECT_NE(badOut.err.find(unwritable + ": cannot be written"), std::string::npos) << badOut.err;
}

}  // namespace
}  // namespace kestu::ctl::testing
