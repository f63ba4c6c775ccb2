// Participants and their trial rows, claimed with the counter so two copies
// never record one number, as an experimenter's SQLite tool sees them.

#include "db_fixture.h"

namespace kestu::testing {
namespace {

Participant Obrien() { return {"o'brien", " Siobhan", "O'Brien ", "Junior", "Other", "20", "Female", "12"}; }

using ParticipantTest = OpenDbTest;

TEST_F(ParticipantTest, RowsReadBackAsTypedUnderTheirExactId)
{
    ASSERT_TRUE(db_->AddParticipant(Obrien()).ok());  // TrialNum "12" is not the caller's to set
    Participant blank = Obrien();
    blank.UserID = "ann";
    blank.Major = "";
    ASSERT_TRUE(db_->AddParticipant(blank).ok());

    auto found = db_->FindParticipant("o'brien");
    ASSERT_TRUE(found.ok() && found.value().has_value()) << found.error();
    const Participant& p = *found.value();
    EXPECT_EQ(std::vector<std::string>({p.UserID, p.FirstName, p.LastName, p.SchoolYear, p.Major, p.Age, p.Sex, p.TrialNum}),
              std::vector<std::string>({"o'brien", " Siobhan", "O'Brien ", "Junior", "Other", "20", "Female", "0"}));
    // The count is text, and an empty answer is stored as empty text, not as a missing value.
    EXPECT_EQ(Sql("SELECT group_concat(typeof(TrialNum) || typeof(Major)) FROM UserData").toString(), "texttext,texttext");

    // An unknown ID is not found, and that is not an error.
    for (const char* id : {"bob", "o'brie", "o'brien ", "O'BRIEN", "' OR '1'='1"})
        EXPECT_FALSE(db_->FindParticipant(id).value()) << id;

    // Of rows with one ID, the first in stored order is found and gets the trial count as decimal text.
    EXPECT_EQ(db_->SaveTrialNum("kim", 1).error(),
              path_ + ": cannot save the trial count of User ID \"kim\" in table \"UserData\": no row for that User ID");
    Sql("INSERT INTO UserData (UserID, FirstName, TrialNum) VALUES ('kim', 'first', '3'), ('kim', 'second', '9'), "
        "('kimi', 'other', '0')");
    EXPECT_EQ(db_->FindParticipant("kim").value()->FirstName, "first");
    ASSERT_TRUE(db_->SaveTrialNum("kim", 12).ok());
    EXPECT_EQ(Sql("SELECT group_concat(TrialNum || typeof(TrialNum), ' ') FROM (SELECT * FROM UserData WHERE UserID LIKE 'kim%' "
                  "ORDER BY rowid)").toString().toStdString(),
              "12text 9text 0text");
}

class ExperimentRowTest : public OpenDbTest {
protected:
    // A column, or an expression over the columns, of one row.
    QVariant Field(long long rowid, const std::string& expression)
    {
        return Sql("SELECT " + expression + " FROM \"Experiments\" WHERE rowid = " + std::to_string(rowid));
    }
};

TEST_F(ExperimentRowTest, AStartRowHoldsWhatWasGivenUntilCompleteFillsInItsEndAndRefusedWritesChangeNothing)
{
    const long long first = db_->AddExperiment(Start("o'brien", 3)).value();
    const long long second = db_->AddExperiment(Start("ann", 2)).value();
    ASSERT_NE(first, second);
    EXPECT_EQ(Field(first, "UserID || '|' || Experiment || '|' || Date || '|' || StartTime || '|' || Scenario || '|' || "
                           "SimRate || '|' || coalesce(EndTime, MissedBuckets, BusyTime, SweepTime, IdleTime, 'none')")
                  .toString()
                  .toStdString(),
              "o'brien|3|2024-03-05|14:07:09|Standard|15.0|none");

    const ExperimentResult end{.EndTime = "14:22:10", .MissedBuckets = -3.5, .BusyTime = 1500.0 / 4500,
                               .SweepTime = 600.0 / 4500, .IdleTime = 1 - 2100.0 / 4500};
    ASSERT_TRUE(db_->CompleteExperiment(second, end).ok());
    EXPECT_EQ(Field(second, "EndTime").toString(), "14:22:10");
    EXPECT_EQ(Field(second, "MissedBuckets").toDouble(), -3.5);
    EXPECT_EQ(Field(second, "BusyTime").toDouble(), 1500.0 / 4500);
    EXPECT_EQ(Field(second, "SweepTime").toDouble(), 600.0 / 4500);
    EXPECT_EQ(Field(second, "IdleTime").toDouble(), 1 - 2100.0 / 4500);
    EXPECT_TRUE(Field(first, "EndTime").isNull());

    // Shares that do not exist are stored as NULL.
    ExperimentResult bare;
    bare.EndTime = "14:30:00";
    ASSERT_TRUE(db_->CompleteExperiment(first, bare).ok());
    EXPECT_EQ(Field(first, "typeof(MissedBuckets) || typeof(BusyTime) || typeof(SweepTime) || typeof(IdleTime)").toString(),
              "realnullnullnull");

    // Malformed or impossible dates and times are refused before writing.
    const std::pair<const char*, const char*> bad[] = {
        {"05.03.2024", "14:07:09"}, {"2024-02-30", "14:07:09"}, {"2024-03-05", "2:07 PM"}};
    for (auto [date, time] : bad) {
        ExperimentStart start = Start("ann", 1);
        start.Date = date;
        start.StartTime = time;
        EXPECT_FALSE(db_->AddExperiment(start).ok()) << date << " " << time;
    }
    EXPECT_EQ(Count("Experiments"), 2);

    const long long row = db_->AddExperiment(Start("ann", 1)).value();
    EXPECT_FALSE(db_->CompleteExperiment(row, End("25:00:00")).ok());
    EXPECT_TRUE(Field(row, "EndTime").isNull());

    // Completing a row that is gone names the file and the table.
    Sql("DELETE FROM \"Experiments\"");
    EXPECT_EQ(db_->CompleteExperiment(row, End()).error(),
              path_ + ": cannot complete row " + std::to_string(row) + " of table \"Experiments\": the row no longer exists");
    EXPECT_EQ(Count("Experiments"), 0);
}

TEST_F(OpenDbTest, ATrialNumberIsClaimedOnceWithItsRowAndTheCounterAndReadBackWholeOrNotAtAll)
{
    Sql("INSERT INTO UserData (UserID, TrialNum) VALUES ('kim', '3')");
    const auto counter = [this] { return Sql("SELECT TrialNum FROM UserData WHERE UserID = 'kim'").toString(); };
    auto first = db_->ClaimTrial(Start("kim", 4));
    ASSERT_TRUE(first.ok()) << first.error();
    EXPECT_EQ(counter(), "4");
    EXPECT_EQ(Sql("SELECT Experiment FROM Experiments WHERE rowid = " + std::to_string(first.value())).toInt(), 4);

    // A second copy that set up the same trial is refused and changes nothing.
    EXPECT_EQ(OpenDb()->ClaimTrial(Start("kim", 4)).error(),
              path_ + ": cannot claim trial 4 of User ID \"kim\": that trial number is already taken (the participant "
                      "has 4 trials); is another copy of Kestu running?");
    EXPECT_EQ(Count("Experiments"), 1);
    // So is an older number, and one whose row exists though the counter lags.
    EXPECT_FALSE(db_->ClaimTrial(Start("kim", 2)).ok());
    Sql("INSERT INTO Experiments (UserID, Experiment) VALUES ('kim', 5)");
    EXPECT_FALSE(db_->ClaimTrial(Start("kim", 5)).ok());
    EXPECT_EQ(counter(), "4");
    EXPECT_TRUE(db_->ClaimTrial(Start("kim", 6)).ok());
    EXPECT_FALSE(db_->ClaimTrial(Start("nobody", 1)).ok());

    // Rows edited by hand: a trial number is whole and fits 64 bits, or it is none.
    for (const char* value : {"7", "'12'", "4294967297", "1.5", "1e19", "'x'"})
        Sql(std::string("INSERT INTO Experiments (UserID, Experiment) VALUES ('ann', ") + value + ")");
    auto rows = db_->ReadExperimentRows("ann");
    ASSERT_TRUE(rows.ok()) << rows.error();
    std::vector<std::optional<long long>> got;
    for (const ExperimentRow& row : rows.value()) got.push_back(row.Experiment);
    EXPECT_EQ(got, (std::vector<std::optional<long long>>{7, 12, 4294967297LL, {}, {}, {}}));
}


// A result cell edited by hand reads as a figure only when it holds one:
// 'n/a' is no figure, never 0, so a replayed 0 cannot agree with it.
TEST_F(OpenDbTest, AResultCellWithoutAFigureReadsAsNone)
{
    Sql("INSERT INTO Experiments (UserID, Experiment, EndTime, MissedBuckets, BusyTime, SweepTime, IdleTime) VALUES "
        "('ann', 1, '10:00:00', 'n/a', '', 'nan', 'inf'), "
        "('ann', 2, '10:00:00', '2.5', ' 0.25 ', x'30', 0), "
        "('ann', 3, '10:00:00', 0, 1e308 * 10, '-0.5', '1,5')");
    const auto rows = db_->ReadExperimentRows("ann");
    ASSERT_TRUE(rows.ok()) << rows.error();
    ASSERT_EQ(rows.value().size(), 3u);
    const ExperimentRow& text = rows.value()[0];
    EXPECT_EQ(text.MissedBuckets, std::nullopt);
    EXPECT_EQ(text.BusyTime, std::nullopt);
    EXPECT_EQ(text.SweepTime, std::nullopt);
    EXPECT_EQ(text.IdleTime, std::nullopt);
    const ExperimentRow& typed = rows.value()[1];
    EXPECT_EQ(typed.MissedBuckets, 2.5);
    EXPECT_EQ(typed.BusyTime, 0.25);
    EXPECT_EQ(typed.SweepTime, std::nullopt) << "binary data";
    EXPECT_EQ(typed.IdleTime, 0.0);
    const ExperimentRow& numbers = rows.value()[2];
    EXPECT_EQ(numbers.MissedBuckets, 0.0) << "a stored 0 is a figure";
    EXPECT_EQ(numbers.BusyTime, std::nullopt) << "infinity";
    EXPECT_EQ(numbers.SweepTime, -0.5);
    EXPECT_EQ(numbers.IdleTime, std::nullopt) << "a comma is no decimal point";
}

// A study file whose tables lack a part is refused naming that part, not
// with the driver's word about parameters.
TEST_F(DbTest, AMissingTableOrColumnIsNamed)
{
    testsupport::RawSql(path_, "CREATE TABLE UserData (UserID TEXT, TrialNum TEXT DEFAULT '0')");
    testsupport::RawSql(path_, "CREATE TABLE Experiments (UserID TEXT, Experiment INTEGER, Date TEXT, StartTime TEXT, "
                               "EndTime TEXT, Scenario TEXT, MissedBuckets REAL, SweepTime REAL, IdleTime REAL)");
    auto db = OpenDb();
    ASSERT_NE(db, nullptr);
    ASSERT_TRUE(db->AddParticipant({"kim"}).error().find("no column named LastName") != std::string::npos)
        << db->AddParticipant({"kim"}).error();
    Sql("INSERT INTO UserData (UserID) VALUES ('kim')");
    Sql("INSERT INTO Experiments (UserID, Experiment) VALUES ('kim', 1)");

    const std::string claimed = db->ClaimTrial(Start("kim", 2)).error();
    EXPECT_NE(claimed.find("SimRate"), std::string::npos) << claimed;
    const std::string completed = db->CompleteTrial({"kim", 1}, End()).error();
    EXPECT_NE(completed.find("BusyTime"), std::string::npos) << completed;
    EXPECT_EQ(db->ReadExperimentRows("kim").error(), path_ + ": table \"Experiments\", column \"BusyTime\" is missing");
    Sql("DROP TABLE Experiments");
    EXPECT_EQ(db->ReadExperimentRows("kim").error(), path_ + ": table \"Experiments\" is missing");
    EXPECT_NE(db->TrialClaimed({"kim", 1}).error().find("no such table: Experiments"), std::string::npos);
    for (const std::string& message : {claimed, completed, db->TrialClaimed({"kim", 1}).error()})
        EXPECT_EQ(message.find("Parameter count"), std::string::npos) << message;
}

// A file made before a trial's log had a unique key gets it at the next
// store, unless the file already holds a log twice; either way no second
// copy is added.
TEST_F(DbTest, AnOlderFileGetsTheLogsKeyWhenItCan)
{
    for (const char* name : {"KEYED.MDB", "TWICE.MDB"}) {
        const std::string path = Path(name);
        testsupport::RawSql(path, "CREATE TABLE TrialLogs (UserID TEXT, Experiment INTEGER, Host TEXT, Bytes BLOB, "
                                  "WrittenAt TEXT)");
        if (std::string(name) == "TWICE.MDB")
            testsupport::RawSql(path, "INSERT INTO TrialLogs (UserID, Experiment) VALUES ('kim', 1), ('kim', 1)");
        auto opened = ExperimentDb::Open(path, OpenMode::ReadWrite);
        ASSERT_TRUE(opened.ok()) << opened.error();
        for (int time = 0; time < 2; ++time)
            ASSERT_TRUE(opened.value()->StoreTrialLog({"kim", 2, "h", "log", "2026-12-06 10:00:00"}).ok());
        ASSERT_TRUE(opened.value()->StoreTrialLog({"kim", 1, "h", "log", "2026-12-06 10:00:00"}).ok());
        const int keys = testsupport::RawSqlValue(path, "SELECT count(*) FROM sqlite_master WHERE name = 'TrialLogsByTrial'").toInt();
        EXPECT_EQ(keys, std::string(name) == "KEYED.MDB" ? 1 : 0) << name;
        EXPECT_EQ(testsupport::RawSqlValue(path, "SELECT count(*) FROM TrialLogs WHERE Experiment = 2").toInt(), 1) << name;
        EXPECT_EQ(testsupport::RawSqlValue(path, "SELECT count(*) FROM TrialLogs").toInt(),
                  std::string(name) == "KEYED.MDB" ? 2 : 3) << name;
    }
}

}  // namespace
}  // namespace kestu::testing
