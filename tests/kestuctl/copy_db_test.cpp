// copy-db: the copy is the same study, identity included, and it is read
// back and compared to the last cell; a destination that keeps something
// other than what it was given is a failure naming the table and row.
#include "ctl_fixture.h"

namespace kestu::ctl::testing {
namespace {

class CopyDbTest : public CtlTest {
protected:
    void SetUp() override
    {
        CtlTest::SetUp();
        auto db = ExperimentDb::Open(db_, OpenMode::ReadWrite);
        ASSERT_TRUE(db.ok()) << db.error();
        for (const char* user : {"ann", "bob", "zed"}) {
            ASSERT_TRUE(db.value()->AddParticipant({user, "First", "Last", "Senior", "Art", "21", "Other", ""}).ok());
            ASSERT_TRUE(db.value()->ClaimTrial({user, 1, "2026-12-06", "10:00:00", "Standard", 15}).ok());
        }
        ASSERT_TRUE(db.value()->StoreTrialLog({"zed", 1, "seat-2", "log", "2026-12-06 10:08:00"}).ok());
    }

    std::string StudyIdOf(const std::string& path)
    {
        auto db = ExperimentDb::Open(path, OpenMode::ReadOnly);
        EXPECT_TRUE(db.ok()) << db.error();
        return db.ok() ? db.value()->StudyId().value() : std::string();
    }
};

TEST_F(CopyDbTest, ACopyIsTheSameStudyItsIdentityIncluded)
{
    const std::string copy = Path("COPY.MDB");
    const std::string out = Ok({"copy-db", db_, copy});
    EXPECT_TRUE(Has(out, "StudyInfo 1 rows; every table compared equal")) << out;
    EXPECT_EQ(StudyIdOf(copy), StudyIdOf(db_));
    EXPECT_EQ(StudyIdOf(copy).size(), 32u);
    EXPECT_EQ(Dump("UserData"), testsupport::RawDump(copy, "UserData"));

    // A study made before studies had an identity is copied without one.
    Sql("DROP TABLE StudyInfo");
    const std::string older = Path("OLDER.MDB");
    Ok({"copy-db", db_, older});
    EXPECT_EQ(StudyIdOf(older), "");
}

// Each destination changes one row as it stores it: the last row of a table
// among others, the only row of a table, a row in the middle.
TEST_F(CopyDbTest, ADestinationThatKeepsOtherThanItWasGivenFailsNamingTheRow)
{
    const std::vector<std::pair<std::string, std::string>> changes = {
        {"AFTER INSERT ON UserData WHEN NEW.UserID = 'zed' BEGIN UPDATE UserData SET Age = '99' WHERE rowid = NEW.rowid; END",
         "table \"UserData\", row 3 differs"},
        {"AFTER INSERT ON Experiments WHEN NEW.UserID = 'zed' BEGIN UPDATE Experiments SET SimRate = 16 "
         "WHERE rowid = NEW.rowid; END",
         "table \"Experiments\", row 3 differs"},
        {"AFTER INSERT ON TrialLogs BEGIN UPDATE TrialLogs SET Host = 'elsewhere' WHERE rowid = NEW.rowid; END",
         "table \"TrialLogs\", row 1 differs"},
        {"AFTER INSERT ON sorttable WHEN NEW.rowid = 35 BEGIN UPDATE sorttable SET sorta = 0.5 WHERE rowid = NEW.rowid; END",
         "table \"sorttable\", row 35 differs"},
        {"AFTER INSERT ON StudyInfo BEGIN UPDATE StudyInfo SET StudyID = 'another' WHERE rowid = NEW.rowid; END",
         "table \"StudyInfo\", row 1 differs"},
        {"AFTER INSERT ON deadline WHEN NEW.rowid = 5 BEGIN UPDATE deadline SET ExpectAmt = ExpectAmt + 1 "
         "WHERE rowid = NEW.rowid; END",
         "table \"deadline\", row 5 differs"},
    };
    int n = 0;
    for (const auto& [trigger, message] : changes) {
        const std::string copy = Path("COPY" + std::to_string(++n) + ".MDB");
        ASSERT_TRUE(ExperimentDb::Create(copy, NewDbContent::SchemaOnly).ok());
        testsupport::RawSql(copy, "CREATE TRIGGER changes " + trigger);
        const CommandResult result = Run({"copy-db", db_, copy});
        EXPECT_EQ(result.status, ExitFailure) << trigger;
        EXPECT_TRUE(Has(result.err, copy + ": the copy does not match: " + message)) << trigger;
    }
}

}  // namespace
}  // namespace kestu::ctl::testing
