// Participants: their rows as typed, found by their exact ID, and held by one
// running copy of the program at a time.
#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "data/participant_lock.h"
#include "db_fixture.h"

namespace kestu::testing {
namespace {

Participant Obrien() { return {"o'brien", " Siobhan", "O'Brien ", "Junior", "Other", "20", "Female", "12"}; }

using ParticipantTest = OpenDbTest;

TEST_F(ParticipantTest, NewRowReadsBackAsTypedWithTrialNumZeroUnderItsExactIdOnly)
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
    EXPECT_EQ(Sql("SELECT group_concat(typeof(TrialNum) || typeof(Major)) FROM (SELECT * FROM UserData ORDER BY rowid)").toString(), "texttext,texttext");

    // An unknown ID is not found, and that is not an error.
    for (const char* id : {"bob", "o'brie", "o'brien ", "O'BRIEN", "' OR '1'='1"}) {
        auto unknown = db_->FindParticipant(id);
        ASSERT_TRUE(unknown.ok()) << unknown.error();
        EXPECT_FALSE(unknown.value().has_value()) << id;
    }
}

TEST_F(ParticipantTest, TheFirstRowInStoredOrderIsFoundAndGetsTheTrialCountAsDecimalText)
{
    EXPECT_EQ(db_->SaveTrialNum("ann", 1).error(),
              path_ + ": cannot save the trial count of User ID \"ann\" in table \"UserData\": no row for that User ID");
    Sql("INSERT INTO UserData (UserID, FirstName, TrialNum) VALUES ('ann', 'first', '3'), ('ann', 'second', '9'), "
        "('anne', 'other', '0')");
    EXPECT_EQ(db_->FindParticipant("ann").value()->FirstName, "first");
    ASSERT_TRUE(db_->SaveTrialNum("ann", 12).ok());
    EXPECT_EQ(Sql("SELECT group_concat(TrialNum || typeof(TrialNum), ' ') FROM (SELECT * FROM UserData ORDER BY rowid)").toString(),
              "12text 9text 0text");
}

TEST_F(DbTest, AParticipantIsHeldByOneCopyAndTakenOverFromOneThatDied)
{
    std::string error;
    auto held = ParticipantLock::Take(path_, "kim", error);
    ASSERT_NE(held, nullptr) << error;
    EXPECT_EQ(ParticipantLock::Take(path_, "kim", error), nullptr);
    EXPECT_EQ(error, "User ID kim is in use by another Kestu window on this computer.");
    EXPECT_NE(ParticipantLock::Take(path_, "ann", error), nullptr);  // others are free
    held.reset();

    // A copy killed while it holds the participant leaves its lock file behind.
    const pid_t child = ::fork();
    if (child == 0) {
        std::string ignored;
        auto lock = ParticipantLock::Take(path_, "kim", ignored);
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(std::ifstream(ParticipantLock::LockPath(path_, "kim")).good()) << "the killed copy took no lock";
    EXPECT_NE(ParticipantLock::Take(path_, "kim", error), nullptr) << error;
}

}  // namespace
}  // namespace kestu::testing
