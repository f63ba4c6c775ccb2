#include "db_fixture.h"

namespace kestu::testing {
namespace {

Participant Obrien() { return {"o'brien", " Siobhan", "O'Brien ", "Junior", "Other", "20", "Female", ""}; }

// Every field, in the table's column order, between bars.
std::string Fields(const Participant& p)
{
    return p.UserID + "|" + p.FirstName + "|" + p.LastName + "|" + p.SchoolYear + "|" + p.Major + "|" + p.Age + "|" +
           p.Sex + "|" + p.TrialNum;
}

using ParticipantTest = OpenDbTest;

TEST_F(ParticipantTest, NewRowReadsBackAsTypedWithTrialNumZeroUnderItsExactIdOnly)
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
    EXPECT_EQ(Fields(*found.value()), "o'brien| Siobhan|O'Brien |Junior|Other|20|Female|0");  // not trimmed
    EXPECT_EQ(Sql("SELECT typeof(\"TrialNum\") FROM \"UserData\"").toString(), "text");
    // An empty answer is stored as empty text, not as a missing value.
    EXPECT_EQ(Sql("SELECT typeof(\"Major\") FROM \"UserData\" WHERE \"UserID\" = 'ann'").toString(), "text");

    // An unknown ID is not found, and that is not an error.
    for (const char* id : {"bob", "o'brie", "o'brien ", "O'BRIEN", "' OR '1'='1"}) {
        auto unknown = db_->FindParticipant(id);
        ASSERT_TRUE(unknown.ok()) << unknown.error();
        EXPECT_FALSE(unknown.value().has_value()) << id;
    }
}

TEST_F(ParticipantTest, FirstRowInStoredOrderWinsForLookupAndSave)
{
    Sql("INSERT INTO \"UserData\" (\"UserID\", \"FirstName\", \"TrialNum\") VALUES ('ann', 'first', '3')");
    Sql("INSERT INTO \"UserData\" (\"UserID\", \"FirstName\", \"TrialNum\") VALUES ('ann', 'second', '9')");

    EXPECT_EQ(db_->FindParticipant("ann").value()->FirstName, "first");

    ASSERT_TRUE(db_->SaveTrialNum("ann", 4).ok());
    EXPECT_EQ(Sql("SELECT \"TrialNum\" FROM \"UserData\" WHERE rowid = 1").toString(), "4");
    EXPECT_EQ(Sql("SELECT \"TrialNum\" FROM \"UserData\" WHERE rowid = 2").toString(), "9");
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
    EXPECT_EQ(Sql("SELECT typeof(\"TrialNum\") FROM \"UserData\" WHERE \"UserID\" = 'o''brien'").toString(),
              "text");
}

}  // namespace
}  // namespace kestu::testing
