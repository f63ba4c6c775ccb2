// Two copies of the program for one participant: the trial number is
// claimed once, and the participant is held by one copy at a time.
#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "data/participant_lock.h"
#include "db_fixture.h"

namespace kestu::testing {
namespace {

class ClaimTest : public OpenDbTest {
protected:
    void SetUp() override
    {
        OpenDbTest::SetUp();
        Sql("INSERT INTO UserData (UserID, TrialNum) VALUES ('kim', '3')");
    }
    ExperimentStart Trial(int n) { return Start("kim", n); }
};

TEST_F(ClaimTest, ATrialNumberIsClaimedOnceWithItsRowAndTheCounter)
{
    auto first = db_->ClaimTrial(Trial(4));
    ASSERT_TRUE(first.ok()) << first.error();
    EXPECT_EQ(Sql("SELECT TrialNum FROM UserData WHERE UserID = 'kim'").toString(), "4");
    EXPECT_EQ(Sql("SELECT Experiment FROM Experiments WHERE rowid = " + std::to_string(first.value())).toInt(), 4);

    // A second copy that set up the same trial is refused and changes nothing.
    auto again = OpenDb()->ClaimTrial(Trial(4));
    ASSERT_FALSE(again.ok());
    EXPECT_NE(again.error().find(path_ + ": cannot claim trial 4 of User ID \"kim\": that trial number is already taken"),
              std::string::npos) << again.error();
    EXPECT_EQ(Count("Experiments"), 1);
    // So is an older number, and one whose row exists though the counter lags.
    EXPECT_FALSE(db_->ClaimTrial(Trial(2)).ok());
    Sql("INSERT INTO Experiments (UserID, Experiment) VALUES ('kim', 5)");
    EXPECT_FALSE(db_->ClaimTrial(Trial(5)).ok());
    EXPECT_EQ(Sql("SELECT TrialNum FROM UserData WHERE UserID = 'kim'").toString(), "4");
    EXPECT_TRUE(db_->ClaimTrial(Trial(6)).ok());
    EXPECT_FALSE(db_->ClaimTrial(Start("nobody", 1)).ok());
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
    EXPECT_NE(ParticipantLock::Take(path_, "kim", error), nullptr);

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
