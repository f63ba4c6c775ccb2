// What a seat's login may do on a server: write only through the study
// owner's functions, read only what a seat's windows need. Every statement a
// hostile seat could try is refused and changes nothing; the seat's own path
// (log in, register, claim, complete, store the log, read the scenario and a
// replay) works.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "data/db_experiment_store.h"
#include "db_fixture.h"
#include "support/test_server.h"
#include "ui/fault_words.h"
#include "trials/file_sink.h"
#include "trials/headless_trial.h"

namespace kestu::testing {
namespace {

// A role made on the test cluster once (roles belong to the whole cluster).
void MakeRole(const std::string& name, const std::string& options)
{
    testsupport::ServerSql(testsupport::TestServerUrl(),
                           "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '" + name +
                               "') THEN CREATE ROLE " + name + " " + options + "; END IF; END $$");
}

// The same server and database as `url`, as another role.
std::string As(const std::string& role, const std::string& url) { return "postgresql://" + role + url.substr(url.find('@')); }

// A raw connection to the study as one role, as any SQL tool on a seat would open it.
class RawSession {
public:
    explicit RawSession(const std::string& url) : name_(QStringLiteral("raw-seat-%1").arg(++counter_))
    {
        const auto where = ParseDatabaseLocation(url);
        const ServerAddress& s = *where.value().server;
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
        db.setHostName(QString::fromStdString(s.host));
        db.setPort(s.port);
        db.setUserName(QString::fromStdString(s.user));
        db.setDatabaseName(QString::fromStdString(s.database));
        opened_ = db.open();
        EXPECT_TRUE(opened_) << db.lastError().text().toStdString();
    }
    ~RawSession() { QSqlDatabase::removeDatabase(name_); }

    // Runs a statement; its error, invalid when it succeeded.
    QSqlError Run(const std::string& statement)
    {
        QSqlQuery query(QSqlDatabase::database(name_, false));
        query.exec(QString::fromStdString(statement));
        return query.lastError();
    }

private:
    static inline int counter_ = 0;
    QString name_;
    bool opened_ = false;
};

class SeatRights : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The owner is an ordinary role that owns the database, as in a lab;
        // the seat logs in with its own role, a member of kestu_seat.
        MakeRole("kestu_test_owner", "LOGIN CREATEROLE");
        const std::string admin = testsupport::NewServerDatabase();
        database_ = admin.substr(admin.rfind('/') + 1);
        testsupport::ServerSql(testsupport::TestServerUrl(), "ALTER DATABASE " + database_ + " OWNER TO kestu_test_owner");
        owner_ = As("kestu_test_owner", admin);
        const Status created = ExperimentDb::Create(owner_, NewDbContent::StandardScenario);
        ASSERT_TRUE(created.ok()) << created.error();
        MakeRole("kestu_test_seat01", "LOGIN IN ROLE kestu_seat");
        seat_ = As("kestu_test_seat01", admin);

        // Two participants with their answers: ann has trial 1 finished, its
        // log stored, and trial 2 running; bob has trial 1 finished.
        auto db = ExperimentDb::Open(owner_, OpenMode::ReadWrite);
        ASSERT_TRUE(db.ok()) << db.error();
        ASSERT_TRUE(db.value()->AddParticipant({"ann", "Ann", "Lee", "Senior", "Physics", "22", "Female", ""}).ok());
        ASSERT_TRUE(db.value()->AddParticipant({"bob", "Bob", "Ray", "Junior", "Art", "20", "Male", ""}).ok());
        ASSERT_TRUE(db.value()->ClaimTrial(Start("ann", 1)).ok());
        ASSERT_TRUE(db.value()->CompleteTrial({"ann", 1}, End()).ok());
        ASSERT_TRUE(db.value()->StoreTrialLog({"ann", 1, "seat-1", "the real log", "2026-12-06 10:00:00"}).ok());
        ASSERT_TRUE(db.value()->ClaimTrial(Start("ann", 2)).ok());
        ASSERT_TRUE(db.value()->ClaimTrial(Start("bob", 1)).ok());
        ASSERT_TRUE(db.value()->CompleteTrial({"bob", 1}, End("14:30:00")).ok());
    }
    void TearDown() override { testsupport::DropServerDatabase(owner_); }

    // Every table as the owner reads it, so that a refused statement can be
    // shown to have changed nothing.
    std::string Study()
    {
        auto db = ExperimentDb::Open(owner_, OpenMode::ReadOnly);
        EXPECT_TRUE(db.ok()) << db.error();
        if (!db) return {};
        std::string text;
        for (const char* table : StudyTables) {
            auto cells = db.value()->ReadWholeTable(table);
            EXPECT_TRUE(cells.ok()) << cells.error();
            if (!cells) continue;
            text += std::string(table) + ":";
            for (const auto& row : cells.value().rows) {
                for (const Cell& cell : row) {
                    if (const auto* t = std::get_if<std::string>(&cell)) text += *t;
                    else if (const auto* n = std::get_if<double>(&cell)) text += std::to_string(*n);
                    else if (const auto* w = std::get_if<long long>(&cell)) text += std::to_string(*w);
                    else text += "NULL";
                    text += ",";
                }
                text += "\n";
            }
        }
        return text;
    }

    std::string database_, owner_, seat_;
};

TEST_F(SeatRights, EveryWriteButTheOwnersFunctionsAndEveryReadOfTheQuestionnaireIsRefused)
{
    const std::string before = Study();
    ASSERT_NE(before.find("Physics"), std::string::npos) << before;
    RawSession seat(seat_);

    // Refused by the table rights: the seat's role writes no table and reads
    // no questionnaire answer.
    const std::vector<std::string> refusedByRights = {
        "UPDATE \"Experiments\" SET \"MissedBuckets\" = 999 WHERE \"UserID\" = 'ann'",
        "UPDATE \"Experiments\" SET \"EndTime\" = NULL, \"MissedBuckets\" = NULL WHERE \"UserID\" = 'bob'",
        "DELETE FROM \"Experiments\"",
        "INSERT INTO \"Experiments\" (\"UserID\", \"Experiment\") VALUES ('ann', 7)",
        "UPDATE \"UserData\" SET \"TrialNum\" = '0'",
        "DELETE FROM \"UserData\"",
        "INSERT INTO \"UserData\" (\"UserID\") VALUES ('eve')",
        "SELECT \"FirstName\" FROM \"UserData\"",
        "SELECT \"LastName\" FROM \"UserData\"",
        "SELECT \"SchoolYear\" FROM \"UserData\"",
        "SELECT \"Major\" FROM \"UserData\"",
        "SELECT \"Age\" FROM \"UserData\"",
        "SELECT \"Sex\" FROM \"UserData\"",
        "SELECT * FROM \"UserData\"",
        "SELECT \"Date\", \"StartTime\" FROM \"Experiments\"",
        "INSERT INTO \"TrialLogs\" (\"UserID\", \"Experiment\", \"Bytes\") VALUES ('ann', 3, 'forged')",
        "UPDATE \"TrialLogs\" SET \"Bytes\" = 'forged'",
        "DELETE FROM \"TrialLogs\"",
        "UPDATE \"deadline\" SET \"ExpectAmt\" = 0",
        "DELETE FROM \"exogenous\"",
        "INSERT INTO \"sorttable\" (\"head\", \"tail\", \"sorta\") VALUES (1, 2, 0.5)",
        "UPDATE \"StudyInfo\" SET \"StudyID\" = 'another'",
        "DELETE FROM \"StudyInfo\"",
        "DROP TABLE \"Experiments\"",
        "TRUNCATE \"TrialLogs\"",
        "TRUNCATE \"UserData\"",
        "ALTER TABLE \"Experiments\" ADD COLUMN \"Note\" TEXT",
        "CREATE TABLE \"Shadow\" (x INTEGER)",
        "DROP FUNCTION kestu_claim_trial(text, integer, text, text, text, double precision)",
        "CREATE OR REPLACE FUNCTION kestu_trial_count(stored text) RETURNS bigint LANGUAGE sql AS 'SELECT 0::bigint'",
        "SELECT kestu_trial_count('5')",
        "SET ROLE kestu_test_owner",
    };
    for (const std::string& statement : refusedByRights) {
        const QSqlError error = seat.Run(statement);
        EXPECT_TRUE(error.isValid()) << "a seat ran: " << statement;
    }

    // Refused by the functions themselves, each with its own sentence.
    const std::vector<std::pair<std::string, std::string>> refusedByFunctions = {
        {"SELECT kestu_store_trial_log('ann', 9, 'h', 'forged for a later trial', 't')", "never claimed"},
        {"SELECT kestu_store_trial_log('eve', 1, 'h', 'forged', 't')", "never claimed"},
        {"SELECT kestu_store_trial_log(NULL, 1, 'h', 'x', 't')", "needs a User ID"},
        {"SELECT kestu_store_trial_log('ann', 2, 'h', NULL, 't')", "needs a User ID"},
        {"SELECT kestu_complete_trial('ann', 1, '10:00:00', 999, NULL, NULL, NULL)", "waiting for its results"},
        {"SELECT kestu_complete_trial('bob', 2, '10:00:00', 999, NULL, NULL, NULL)", "waiting for its results"},
        {"SELECT kestu_complete_trial('ann', 2, '10:00:00', 'NaN', NULL, NULL, NULL)", "finite"},
        {"SELECT kestu_complete_trial('ann', 2, '10:00:00', 1, 'Infinity', NULL, NULL)", "finite"},
        {"SELECT kestu_complete_trial('ann', 2, 'late', 1, NULL, NULL, NULL)", "hh:mm:ss"},
        {"SELECT kestu_complete_trial(NULL, 2, '10:00:00', 1, NULL, NULL, NULL)", "need a User ID"},
        {"SELECT kestu_complete_trial('ann', 2, '10:00:00', NULL, NULL, NULL, NULL)", "need a User ID"},
        {"SELECT kestu_claim_trial(NULL, 1, '2026-12-06', '10:00:00', 'Standard', 15)", "needs a User ID"},
        {"SELECT kestu_claim_trial('ann', NULL, '2026-12-06', '10:00:00', 'Standard', 15)", "needs a User ID"},
        {"SELECT kestu_claim_trial('ann', 2, '2026-12-06', '10:00:00', 'Standard', 15)", "already taken"},
        {"SELECT kestu_claim_trial('ann', 1, '2026-12-06', '10:00:00', 'Standard', 15)", "already taken"},
        {"SELECT kestu_claim_trial('bob', -1, '2026-12-06', '10:00:00', 'Standard', 15)", "start at 1"},
        {"SELECT kestu_claim_trial('nobody', 1, '2026-12-06', '10:00:00', 'Standard', 15)", "no row for that User ID"},
        {"SELECT kestu_claim_trial('bob', 2, 'today', '10:00:00', 'Standard', 15)", "yyyy-mm-dd"},
        {"SELECT kestu_save_trial_num('ann', NULL)", "whole number 0 or more"},
        {"SELECT kestu_save_trial_num(NULL, 5)", "whole number 0 or more"},
        {"SELECT kestu_save_trial_num('ann', -3)", "whole number 0 or more"},
        {"SELECT kestu_save_trial_num('nobody', 3)", "no row for that User ID"},
        {"SELECT kestu_add_participant(NULL, 'a', 'b', 'c', 'd', 'e', 'f')", "needs a User ID"},
    };
    for (const auto& [statement, why] : refusedByFunctions) {
        const QSqlError error = seat.Run(statement);
        ASSERT_TRUE(error.isValid()) << "a seat ran: " << statement;
        // A refusal of the function's own, not a failure inside it.
        EXPECT_EQ(error.nativeErrorCode().toStdString(), "KS001") << statement << ": " << error.text().toStdString();
        EXPECT_NE(error.text().toStdString().find(why), std::string::npos) << statement << ": " << error.text().toStdString();
    }
    EXPECT_EQ(Study(), before) << "a refused statement changed the study";

    // What a seat may read: the count of a participant, never the answers.
    EXPECT_FALSE(seat.Run("SELECT \"UserID\", \"TrialNum\" FROM \"UserData\"").isValid());
    EXPECT_FALSE(seat.Run("SELECT rowid, \"Experiment\", \"EndTime\", \"MissedBuckets\" FROM \"Experiments\"").isValid());
    EXPECT_FALSE(seat.Run("SELECT * FROM \"TrialLogs\"").isValid());
    EXPECT_FALSE(seat.Run("SELECT * FROM \"StudyInfo\"").isValid());
    EXPECT_FALSE(seat.Run("SELECT * FROM \"exogenous\", \"deadline\", \"sorttable\" LIMIT 1").isValid());
}

TEST_F(SeatRights, ASeatLogsInRegistersRunsAndReplaysATrialThroughThoseRightsAlone)
{
    auto opened = ExperimentDb::Open(seat_, OpenMode::ReadWrite);
    ASSERT_TRUE(opened.ok()) << opened.error();
    ExperimentDb& db = *opened.value();

    // Logging in finds the participant's count, and the lookup reads nothing more.
    const auto ann = db.FindParticipant("ann");
    ASSERT_TRUE(ann.ok()) << ann.error();
    ASSERT_TRUE(ann.value().has_value());
    EXPECT_EQ(ann.value()->TrialNum, "2");
    EXPECT_EQ(ann.value()->FirstName, "");
    ASSERT_TRUE(db.FindParticipant("cy").ok());
    EXPECT_FALSE(db.FindParticipant("cy").value().has_value());

    // Registering stores the answers the seat can no longer read back.
    ASSERT_TRUE(db.AddParticipant({"cy", "Cy", "Moss", "Senior", "Biology", "23", "Other", ""}).ok());
    EXPECT_EQ(db.FindParticipant("cy").value()->TrialNum, "0");
    const auto row = db.ClaimTrial(Start("cy", 1));
    ASSERT_TRUE(row.ok()) << row.error();
    EXPECT_TRUE(db.TrialClaimed({"cy", 1}).value());
    EXPECT_FALSE(db.TrialClaimed({"cy", 2}).value());
    EXPECT_EQ(db.StoreTrialLog({"cy", 2, "seat-1", "early", "2026-12-06 10:00:00"}).error(),
              seat_ + ": cannot store the log of trial 2 of User ID \"cy\" in table \"TrialLogs\": that trial was never "
                      "claimed");
    ASSERT_TRUE(db.StoreTrialLog({"cy", 1, "seat-1", "the log", "2026-12-06 10:00:00"}).ok());
    ASSERT_TRUE(db.StoreTrialLog({"cy", 1, "seat-1", "a second copy", "2026-12-06 10:00:01"}).ok());
    ASSERT_TRUE(db.CompleteExperiment(row.value(), End()).ok());
    EXPECT_EQ(db.CompleteTrial({"cy", 1}, End("15:00:00")).error(),
              seat_ + ": cannot complete trial 1 of User ID \"cy\" in table \"Experiments\": no row of that trial is "
                      "waiting for its results");
    ASSERT_TRUE(db.ClaimTrial(Start("cy", 2)).ok());
    ASSERT_TRUE(db.CompleteTrial({"cy", 2}, End("15:00:00")).ok());
    ASSERT_TRUE(db.SaveTrialNum("cy", 1).ok());
    EXPECT_EQ(db.FindParticipant("cy").value()->TrialNum, "2") << "a count never goes back";

    // What a replay and rescoring read.
    EXPECT_TRUE(db.ReadScenario().ok());
    const auto rows = db.ReadExperimentRows("cy");
    ASSERT_TRUE(rows.ok()) << rows.error();
    ASSERT_EQ(rows.value().size(), 2u);
    EXPECT_EQ(rows.value()[0].MissedBuckets, 2.5);
    const auto logs = db.ReadTrialLogs("cy");
    ASSERT_TRUE(logs.ok()) << logs.error();
    ASSERT_EQ(logs.value().size(), 1u);
    EXPECT_EQ(logs.value()[0].Bytes, "the log");
    auto ownerDb = ExperimentDb::Open(owner_, OpenMode::ReadOnly);
    ASSERT_TRUE(ownerDb.ok());
    EXPECT_EQ(db.StudyId().value(), ownerDb.value()->StudyId().value());
    EXPECT_EQ(ownerDb.value()->ReadWholeTable("UserData").value().rows.back()[4], Cell(std::string("Biology")));

    // A whole trial through the store, as the seat's window runs it.
    QTemporaryDir folder;
    ParticipantState participant;
    participant.UserID = "ann";
    participant.TrialNum = 2;
    ASSERT_TRUE(db.CompleteTrial({"ann", 2}, End()).ok());
    DbExperimentStore store(seat_, OutboxPath(folder.path().toStdString()));
    const ParticipantTrial run = RunParticipantTrial(participant, store, folder.path().toStdString(), 5);
    ASSERT_TRUE(run.completed) << (run.faults.empty() ? "" : FaultSentence(run.faults.front()));
    const auto annRows = ownerDb.value()->ReadExperimentRows("ann");
    ASSERT_TRUE(annRows.ok());
    ASSERT_EQ(annRows.value().size(), 3u);
    EXPECT_EQ(annRows.value()[2].MissedBuckets, static_cast<double>(run.trial.missed.Total));
    EXPECT_EQ(ownerDb.value()->ReadTrialLogs("ann").value().size(), 2u);
}

}  // namespace
}  // namespace kestu::testing
