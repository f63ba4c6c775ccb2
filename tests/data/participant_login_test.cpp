// Logging a participant in, on an SQLite file and on a server: the lock is
// taken before anything else, the User ID is found or added, and the trial
// count is read from the participant's first row under one rule.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "backend_fixture.h"
#include "data/participant_login.h"

namespace kestu::testing {
namespace {

class LoginTest : public BackendTest {
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        const Status created = ExperimentDb::Create(location_, NewDbContent::SchemaOnly);
        ASSERT_TRUE(created.ok()) << created.error();
    }

    // The participant table as "UserID|FirstName|...|TrialNum" lines, in stored order.
    std::vector<std::string> Rows()
    {
        auto db = ExperimentDb::Open(location_, OpenMode::ReadOnly);
        EXPECT_TRUE(db.ok()) << db.error();
        if (!db) return {};
        const auto table = db.value()->ReadWholeTable("UserData");
        EXPECT_TRUE(table.ok()) << table.error();
        std::vector<std::string> rows;
        if (!table) return {};
        for (const auto& row : table.value().rows) {
            std::string line;
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i > 0) line += "|";
                if (const auto* text = std::get_if<std::string>(&row[i])) line += *text;
            }
            rows.push_back(line);
        }
        return rows;
    }
    bool HeldElsewhere(const std::string& userId) { return !ParticipantLock::Take(location_, userId).ok(); }

    // A registration that must not be asked.
    static Registration NotAsked()
    {
        return [](const AddParticipantFn&) -> Result<bool> {
            ADD_FAILURE() << "registration asked for a known participant";
            return false;
        };
    }
};

TEST_P(LoginTest, ANewUserIdIsAddedThroughTheRegistrationAndStartsAtNoTrials)
{
    auto login = LogIn(location_, "ann", AddWithEmptyAnswers());
    ASSERT_TRUE(login.ok()) << login.error();
    ASSERT_TRUE(login.value().has_value());
    EXPECT_EQ(login.value()->UserID, "ann");
    EXPECT_EQ(login.value()->TrialNum, 0);
    EXPECT_TRUE(login.value()->added);
    EXPECT_EQ(Rows(), std::vector<std::string>{"ann|||||||0"});
    EXPECT_TRUE(HeldElsewhere("ann")) << "the login holds ann";
    login.value()->lock.reset();
    EXPECT_FALSE(HeldElsewhere("ann")) << "given back with the lock";

    // The questionnaire's answers, stored as given under the login's User ID;
    // the count is the one the table gives, never the answers'.
    int asked = 0;
    auto answered = LogIn(location_, "bo", [&](const AddParticipantFn& add) -> Result<bool> {
        ++asked;
        return add(Participant{"someone", " Bo", "Li ", "Senior", "Physics", "21", "Male", "9"}).ok();
    });
    ASSERT_TRUE(answered.ok() && answered.value()) << answered.error();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(answered.value()->TrialNum, 0);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"ann|||||||0", "bo| Bo|Li |Senior|Physics|21|Male|0"}));
}

TEST_P(LoginTest, AKnownParticipantIsNeverAddedAndItsCountIsReadFromItsFirstRow)
{
    Sql("INSERT INTO \"UserData\" (\"UserID\", \"TrialNum\") VALUES ('kim', '4'), ('kim', '9'), ('Kim', '7')");
    auto login = LogIn(location_, "kim", NotAsked());
    ASSERT_TRUE(login.ok() && login.value()) << login.error();
    EXPECT_EQ(login.value()->TrialNum, 4);
    EXPECT_FALSE(login.value()->added);
    EXPECT_EQ(Rows().size(), 3u);

    // The largest count there may be; an empty cell is no count.
    Sql("UPDATE \"UserData\" SET \"TrialNum\" = '32767' WHERE \"UserID\" = 'Kim'");
    login.value()->lock.reset();
    login = LogIn(location_, "Kim", NotAsked());
    ASSERT_TRUE(login.ok() && login.value()) << login.error();
    EXPECT_EQ(login.value()->TrialNum, 32767);
}

TEST_P(LoginTest, ACountThatIsNotOneIsAFaultOfTheStudyAndLetsTheParticipantGo)
{
    for (const char* stored : {"four", "-1", "32768", "2.5", ""}) {
        Sql("DELETE FROM \"UserData\"");
        Sql(std::string("INSERT INTO \"UserData\" (\"UserID\", \"TrialNum\") VALUES ('kim', '") + stored + "')");
        const auto login = LogIn(location_, "kim", NotAsked());
        ASSERT_FALSE(login.ok()) << stored;
        EXPECT_EQ(login.error(), location_ + ": table UserData, column TrialNum, row of User ID \"kim\": \"" + stored +
                                     "\" is not a trial count (a whole number from 0 to 32767).");
        EXPECT_EQ(login.fault().file, location_) << stored;
        EXPECT_EQ(login.fault().field, "TrialNum") << stored;
        EXPECT_FALSE(HeldElsewhere("kim")) << stored;
    }
}

TEST_P(LoginTest, ARegistrationThatAddsNobodyOrFailsLeavesTheStudyAsItWasAndTheParticipantFree)
{
    auto declined = LogIn(location_, "newbie", [](const AddParticipantFn&) -> Result<bool> { return false; });
    ASSERT_TRUE(declined.ok()) << declined.error();
    EXPECT_FALSE(declined.value().has_value());
    EXPECT_FALSE(HeldElsewhere("newbie"));

    auto failed = LogIn(location_, "newbie", [](const AddParticipantFn&) -> Result<bool> { return Fault{"no room"}; });
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error(), "no room");
    EXPECT_EQ(failed.fault().file, location_);
    EXPECT_FALSE(HeldElsewhere("newbie"));
    EXPECT_TRUE(Rows().empty());
}

// The lock comes first: a participant another copy holds is refused before
// the study is opened, so nothing is written and a missing study is not
// what the refusal says.
TEST_P(LoginTest, AParticipantHeldElsewhereIsRefusedBeforeTheStudyIsTouched)
{
    auto other = ParticipantLock::Take(location_, "kim");
    ASSERT_TRUE(other.ok()) << other.error();
    const auto refused = LogIn(location_, "kim", NotAsked());
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("User ID kim is in use by another Kestu window"), std::string::npos)
        << refused.error();
    EXPECT_EQ(refused.fault().file, "") << "a refusal of the lock is no fault of the study";
    EXPECT_TRUE(Rows().empty());

    // The study's own faults name it; the participant is let go.
    other = Fault{"that copy ended"};
    Sql("DROP TABLE \"UserData\"");
    const auto broken = LogIn(location_, "kim", NotAsked());
    ASSERT_FALSE(broken.ok());
    EXPECT_EQ(broken.fault().file, location_);
    EXPECT_EQ(broken.error().rfind(location_ + ": ", 0), 0u) << broken.error();
    EXPECT_FALSE(HeldElsewhere("kim"));
}

INSTANTIATE_TEST_SUITE_P(Backends, LoginTest, ::testing::Values(Where::File, Where::Server), BackendName);

// A study that is not there is named, after the lock was taken and given back.
TEST(LoginFileTest, AMissingStudyIsNamedAndNeverCreated)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string location = dir.filePath(QStringLiteral("KESTU.MDB")).toStdString();
    const auto login = LogIn(location, "kim", AddWithEmptyAnswers());
    ASSERT_FALSE(login.ok());
    EXPECT_EQ(login.error(), location + ": the database file does not exist");
    EXPECT_EQ(login.fault().file, location);
    EXPECT_TRUE(ParticipantLock::Take(location, "kim").ok());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(location)));
}

}  // namespace
}  // namespace kestu::testing
