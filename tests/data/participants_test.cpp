#include "db_fixture.h"

namespace kestu::testing {
namespace {

Participant Obrien()
{
    Participant p;
    p.UserID = "o'brien";
    p.FirstName = " Siobhan";
    p.LastName = "O'Brien ";
    p.SchoolYear = "Junior";
    p.Major = "Other";
    p.Age = "20";
    p.Sex = "Female";
    return p;
}

class ParticipantTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        CreateDb();
        db_ = OpenDb();
        ASSERT_NE(db_, nullptr);
    }
    std::unique_ptr<ExperimentDb> db_;
};

TEST_F(ParticipantTest, UnknownIdIsNotFoundAndNotAnError)
{
    ASSERT_TRUE(db_->AddParticipant(Obrien()).ok());
    for (const char* id : {"ann", "o'brie", "o'brien ", "O'BRIEN", "' OR '1'='1"}) {
        auto found = db_->FindParticipant(id);
        ASSERT_TRUE(found.ok()) << found.error();
        EXPECT_FALSE(found.value().has_value()) << id;
    }
}

TEST_F(ParticipantTest, NewRowReadsBackAsTypedWithTrialNumZero)
{
    Participant typed = Obrien();
    typed.TrialNum = "12";  // not the caller's to set
    ASSERT_TRUE(db_->AddParticipant(typed).ok());
    Participant blank = Obrien();
    blank.UserID = "ann";
    blank.Major = "";
    ASSERT_TRUE(db_->AddParticipant(blank).ok());

    auto found = db_->FindParticipant("o'brien");
    ASSERT_TRUE(found.ok()) << found.error();
    ASSERT_TRUE(found.value().has_value());
    const Participant& p = *found.value();
    EXPECT_EQ(p.UserID, "o'brien");
    EXPECT_EQ(p.FirstName, " Siobhan");  // not trimmed
    EXPECT_EQ(p.LastName, "O'Brien ");
    EXPECT_EQ(p.SchoolYear, "Junior");
    EXPECT_EQ(p.Major, "Other");
    EXPECT_EQ(p.Age, "20");
    EXPECT_EQ(p.Sex, "Female");
    EXPECT_EQ(p.TrialNum, "0");
    EXPECT_EQ(SqlValue("SELECT typeof(\"TrialNum\") FROM \"UserData\"").toString(), "text");
    // An empty answer is stored as empty text, not as a missing value.
    EXPECT_EQ(SqlValue("SELECT typeof(\"Major\") FROM \"UserData\" WHERE \"UserID\" = 'ann'").toString(), "text");
}

TEST_F(ParticipantTest, FirstRowInStoredOrderWinsForLookupAndSave)
{
    Sql("INSERT INTO \"UserData\" (\"UserID\", \"FirstName\", \"TrialNum\") VALUES ('ann', 'first', '3')");
    Sql("INSERT INTO \"UserData\" (\"UserID\", \"FirstName\", \"TrialNum\") VALUES ('ann', 'second', '9')");

    EXPECT_EQ(db_->FindParticipant("ann").value()->FirstName, "first");

    ASSERT_TRUE(db_->SaveTrialNum("ann", 4).ok());
    EXPECT_EQ(SqlValue("SELECT \"TrialNum\" FROM \"UserData\" WHERE rowid = 1").toString(), "4");
    EXPECT_EQ(SqlValue("SELECT \"TrialNum\" FROM \"UserData\" WHERE rowid = 2").toString(), "9");
}

TEST_F(ParticipantTest, SaveTrialNumWritesDecimalTextForThatParticipantOnly)
{
    auto missing = db_->SaveTrialNum("o'brien", 1);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find(path_), std::string::npos) << missing.error();
    EXPECT_NE(missing.error().find("\"o'brien\""), std::string::npos) << missing.error();

    Participant other = Obrien();
    other.UserID = "obrien";
    ASSERT_TRUE(db_->AddParticipant(Obrien()).ok());
    ASSERT_TRUE(db_->AddParticipant(other).ok());

    auto saved = db_->SaveTrialNum("o'brien", 12);
    ASSERT_TRUE(saved.ok()) << saved.error();
    EXPECT_EQ(db_->FindParticipant("o'brien").value()->TrialNum, "12");
    EXPECT_EQ(db_->FindParticipant("obrien").value()->TrialNum, "0");
    EXPECT_EQ(SqlValue("SELECT typeof(\"TrialNum\") FROM \"UserData\" WHERE \"UserID\" = 'o''brien'").toString(),
              "text");
}

TEST_F(ParticipantTest, ReadOnlyConnectionRefusesWritesWithAMessage)
{
    ASSERT_TRUE(db_->AddParticipant(Obrien()).ok());
    auto readOnly = OpenDb(OpenMode::ReadOnly);
    ASSERT_NE(readOnly, nullptr);

    Participant second = Obrien();
    second.UserID = "ann";
    auto added = readOnly->AddParticipant(second);
    ASSERT_FALSE(added.ok());
    EXPECT_NE(added.error().find(path_), std::string::npos) << added.error();
    EXPECT_FALSE(readOnly->SaveTrialNum("o'brien", 5).ok());

    // Reading still works, and nothing was written.
    EXPECT_EQ(readOnly->FindParticipant("o'brien").value()->TrialNum, "0");
    EXPECT_EQ(SqlValue("SELECT count(*) FROM \"UserData\"").toInt(), 1);
}

}  // namespace
}  // namespace kestu::testing
