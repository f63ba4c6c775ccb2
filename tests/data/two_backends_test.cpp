// The data layer on both databases a study may live in: an SQLite file and a
// PostgreSQL server. Every test runs on each; what differs is only where the
// study is and how a refusal names it.
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "data/db_experiment_store.h"
#include "data/participant_lock.h"
#include "backend_fixture.h"
#include "ui/fault_words.h"
#include "trials/file_sink.h"
#include "trials/headless_trial.h"

namespace kestu::testing {
namespace {

class StudyTest : public BackendTest {
protected:
    std::unique_ptr<ExperimentDb> NewStudy(NewDbContent content = NewDbContent::StandardScenario)
    {
        const Status created = ExperimentDb::Create(location_, content);
        EXPECT_TRUE(created.ok()) << created.error();
        auto opened = ExperimentDb::Open(location_, OpenMode::ReadWrite);
        EXPECT_TRUE(opened.ok()) << opened.error();
        return opened.ok() ? std::move(opened).value() : nullptr;
    }
};

TEST_P(StudyTest, AStudyIsCreatedOnceWithEveryTableAndItsScenario)
{
    EXPECT_NE(ExperimentDb::Open(location_, OpenMode::ReadOnly).error(), "") << "no study yet";
    auto db = NewStudy();
    ASSERT_NE(db, nullptr);
    EXPECT_NE(ExperimentDb::Create(location_, NewDbContent::StandardScenario).error().find(location_ + ": already"),
              std::string::npos);

    // The tables and columns by the names experimenters know, whatever the database.
    const std::vector<std::string> participants = {"UserID", "FirstName", "LastName", "SchoolYear",
                                                   "Major",  "Age",       "Sex",      "TrialNum"};
    EXPECT_EQ(db->ReadWholeTable("UserData").value().columns, participants);
    EXPECT_EQ(db->ReadWholeTable("TrialLogs").value().columns,
              (std::vector<std::string>{"UserID", "Experiment", "Host", "Bytes", "WrittenAt"}));
    const auto scenario = db->ReadScenario();
    ASSERT_TRUE(scenario.ok()) << scenario.error();
    EXPECT_EQ(scenario.value().exogenous.size(), 17u);
    EXPECT_EQ(scenario.value().deadline.size(), 12u);
    EXPECT_EQ(scenario.value().sorttable.size(), 35u);
    EXPECT_EQ(scenario.value().exogenous[1].Water[7], db->ReadScenario().value().exogenous[1].Water[7]);

    // A read-only connection cannot write.
    auto reader = ExperimentDb::Open(location_, OpenMode::ReadOnly);
    ASSERT_TRUE(reader.ok()) << reader.error();
    EXPECT_FALSE(reader.value()->AddParticipant({"ann"}).ok());
}

TEST_P(StudyTest, ParticipantsAndTrialsAreStoredAndAClaimedNumberIsNeverClaimedAgain)
{
    auto db = NewStudy();
    ASSERT_NE(db, nullptr);
    ASSERT_TRUE(db->AddParticipant({"o'brien", " Siobhan", "O'Brien ", "Junior", "", "20", "Female", ""}).ok());
    const auto found = db->FindParticipant("o'brien");
    ASSERT_TRUE(found.ok() && found.value()) << found.error();
    EXPECT_EQ(found.value()->TrialNum, "0");
    // The answers as typed; a lookup on a server reads only the ID and the count.
    const auto answers = db->ReadWholeTable("UserData");
    ASSERT_TRUE(answers.ok()) << answers.error();
    EXPECT_EQ(answers.value().rows[0][2], Cell(std::string("O'Brien ")));
    EXPECT_EQ(answers.value().rows[0][4], Cell(std::string("")));
    EXPECT_EQ(found.value()->LastName, GetParam() == Where::File ? "O'Brien " : "");
    for (const char* other : {"O'BRIEN", "o'brie", "' OR '1'='1"}) EXPECT_FALSE(db->FindParticipant(other).value());

    auto row = db->ClaimTrial(Start("o'brien", 1));
    ASSERT_TRUE(row.ok()) << row.error();
    EXPECT_EQ(db->FindParticipant("o'brien").value()->TrialNum, "1");
    auto second = ExperimentDb::Open(location_, OpenMode::ReadWrite);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.value()->ClaimTrial(Start("o'brien", 1)).error(),
              location_ + ": cannot claim trial 1 of User ID \"o'brien\": that trial number is already taken (the "
                          "participant has 1 trials); is another copy of Kestu running?");
    ASSERT_TRUE(db->CompleteExperiment(row.value(), End()).ok());
    const auto rows = db->ReadExperimentRows("o'brien");
    ASSERT_TRUE(rows.ok()) << rows.error();
    ASSERT_EQ(rows.value().size(), 1u);
    EXPECT_EQ(rows.value()[0].Experiment, 1);
    EXPECT_EQ(rows.value()[0].MissedBuckets, 2.5);
    EXPECT_EQ(rows.value()[0].SweepTime, std::nullopt);
    EXPECT_EQ(db->ReadWholeTable("Experiments").value().rows[0][6], Cell(15.0)) << "SimRate";
}

TEST_P(StudyTest, ATrialLogIsKeptOnceByteForByte)
{
    auto db = NewStudy();
    ASSERT_NE(db, nullptr);
    const std::string bytes = std::string("0,5,\"ON\",3\r\n\0\xff", 15) + std::string(70000, '7');
    const TrialLogCopy log{"kim", 4, "seat-7", bytes, "2026-12-06 10:11:12"};
    for (const char* user : {"kim", "ann"}) ASSERT_TRUE(db->AddParticipant({user}).ok());
    ASSERT_TRUE(db->ClaimTrial(Start("kim", 4)).ok());
    ASSERT_TRUE(db->ClaimTrial(Start("ann", 1)).ok());
    ASSERT_TRUE(db->StoreTrialLog(log).ok());
    ASSERT_TRUE(db->StoreTrialLog(log).ok()) << "a second delivery of the same log";
    ASSERT_TRUE(db->StoreTrialLog({"ann", 1, "seat-2", "x", "2026-12-06 10:11:13"}).ok());
    const auto kims = db->ReadTrialLogs("kim");
    ASSERT_TRUE(kims.ok()) << kims.error();
    ASSERT_EQ(kims.value().size(), 1u);
    EXPECT_EQ(kims.value()[0].Bytes, bytes);
    EXPECT_EQ(kims.value()[0].Host, "seat-7");
    EXPECT_EQ(db->ReadTrialLogs("").value().size(), 2u);
}

TEST_P(StudyTest, AParticipantIsHeldByOneCopyAndReleasedWhenItDies)
{
    ASSERT_NE(NewStudy(), nullptr);
    auto held = ParticipantLock::Take(location_, "kim");
    ASSERT_TRUE(held.ok()) << held.error();
    EXPECT_EQ(ParticipantLock::Take(location_, "kim").error(),
              "User ID kim is in use by another Kestu window on this computer.");
    EXPECT_TRUE(ParticipantLock::Take(location_, "ann").ok()) << "others are free";
    held = Fault{"given back"};
    EXPECT_TRUE(ParticipantLock::Take(location_, "kim").ok());

    const pid_t child = ::fork();
    if (child == 0) {
        auto lock = ParticipantLock::Take(location_, "kim");
        ::kill(::getpid(), lock ? SIGKILL : SIGTERM);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child took no lock";
    // The server notices the dead seat's closed connection; the file lock sees its dead process.
    Result<std::unique_ptr<ParticipantLock>> again = Fault{"not tried"};
    for (int tries = 0; tries < 50 && !again; ++tries) {
        again = ParticipantLock::Take(location_, "kim");
        if (!again) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(again.ok()) << again.error();
}

// A whole trial as a participant's window records it, through the store.
TEST_P(StudyTest, AWholeTrialLeavesItsRowItsCounterAndItsLogWhichReplaysToTheSameResults)
{
    auto db = NewStudy();
    ASSERT_NE(db, nullptr);
    ASSERT_TRUE(db->AddParticipant({"kim"}).ok());
    ParticipantState participant;
    participant.UserID = "kim";
    DbExperimentStore store(location_, OutboxPath(dir_.path().toStdString()));
    const ParticipantTrial run = RunParticipantTrial(participant, store, dir_.path().toStdString(), 11);
    ASSERT_TRUE(run.completed) << (run.faults.empty() ? "" : FaultSentence(run.faults.front()));

    const auto rows = db->ReadExperimentRows("kim");
    ASSERT_TRUE(rows.ok() && rows.value().size() == 1u) << rows.error();
    EXPECT_EQ(rows.value()[0].MissedBuckets, static_cast<double>(run.trial.missed.Total));
    EXPECT_EQ(db->FindParticipant("kim").value()->TrialNum, "1");
    const auto logs = db->ReadTrialLogs("kim");
    ASSERT_TRUE(logs.ok() && logs.value().size() == 1u) << logs.error();
    const std::string logPath = dir_.filePath(QStringLiteral("kim.1")).toStdString();
    EXPECT_EQ(logs.value()[0].Bytes, ReadWholeFile(logPath).value());
    QTemporaryDir work;
    const ReplayOutcome replay = ReplayLogFile(db->ReadScenario().value(), logPath, work.path().toStdString());
    ASSERT_FALSE(replay.fault.has_value());
    EXPECT_EQ(replay.trial.missed.Total, run.trial.missed.Total);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(OutboxPath(dir_.path().toStdString()))));
}

INSTANTIATE_TEST_SUITE_P(Backends, StudyTest, ::testing::Values(Where::File, Where::Server), BackendName);

// What a seat's role may do on the server: read the scenario, add and update
// participants, trials and logs; never change the scenario or delete a row.
TEST(ServerRights, ASeatCannotDeleteARowOrChangeTheScenario)
{
    const std::string owner = testsupport::NewServerDatabase();
    ASSERT_TRUE(ExperimentDb::Create(owner, NewDbContent::StandardScenario).ok());
    testsupport::ServerSql(testsupport::TestServerUrl(),
                           "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'seat_test') THEN "
                           "CREATE ROLE seat_test LOGIN IN ROLE kestu_seat; END IF; END $$");
    const std::string seat = "postgresql://seat_test" + owner.substr(owner.find('@'));
    auto db = ExperimentDb::Open(seat, OpenMode::ReadWrite);
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_TRUE(db.value()->AddParticipant({"kim"}).ok());
    const auto row = db.value()->ClaimTrial(Start("kim", 1));
    ASSERT_TRUE(row.ok()) << row.error();
    EXPECT_TRUE(db.value()->CompleteExperiment(row.value(), End()).ok());
    EXPECT_TRUE(db.value()->StoreTrialLog({"kim", 1, "h", "log", "2026-12-06 10:00:00"}).ok());
    EXPECT_TRUE(db.value()->ReadScenario().ok());

    EXPECT_FALSE(db.value()->ReplaceScenario(db.value()->ReadScenario().value()).ok());
    EXPECT_FALSE(db.value()->ReplaceTables({{"Experiments", {}}}).ok()) << "a seat deleted the trial rows";
    EXPECT_EQ(db.value()->ReadExperimentRows("kim").value().size(), 1u);
    testsupport::DropServerDatabase(owner);
}

// On the server too, a write that fails part-way is reported naming the
// database and leaves nothing of itself behind.
TEST(ServerWrites, AFailingWriteIsReportedAndUndoesItsWholeTransaction)
{
    const std::string url = testsupport::NewServerDatabase();
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::StandardScenario).ok());
    auto db = ExperimentDb::Open(url, OpenMode::ReadWrite);
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_TRUE(db.value()->AddParticipant({"kim", "", "", "", "", "", "", ""}).ok());
    ASSERT_TRUE(db.value()->ClaimTrial(Start("kim", 1)).ok());
    const std::string admin = "postgresql://postgres" + url.substr(url.find('@'));
    ASSERT_TRUE(testsupport::ServerSql(admin, "CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN "
                                              "RAISE EXCEPTION 'disk full'; END $$ LANGUAGE plpgsql"));
    for (const char* table : {"Experiments", "sorttable", "TrialLogs"})
        ASSERT_TRUE(testsupport::ServerSql(admin, std::string("CREATE TRIGGER refuse BEFORE INSERT ON \"") + table +
                                                      "\" FOR EACH ROW EXECUTE FUNCTION refuse()"));

    // The claim's counter goes back with its refused row.
    const std::string claimed = db.value()->ClaimTrial(Start("kim", 2)).error();
    EXPECT_EQ(claimed.rfind(url + ": cannot ", 0), 0u) << claimed;
    EXPECT_NE(claimed.find("disk full"), std::string::npos) << claimed;
    EXPECT_EQ(db.value()->FindParticipant("kim").value()->TrialNum, "1");
    EXPECT_EQ(db.value()->ReadExperimentRows("kim").value().size(), 1u);

    // The scenario's first two tables are replaced only with the third.
    ScenarioTables changed = db.value()->ReadScenario().value();
    changed.deadline.pop_back();
    EXPECT_FALSE(db.value()->ReplaceScenario(changed).ok());
    EXPECT_EQ(db.value()->ReadScenario().value().deadline.size(), 12u);

    EXPECT_NE(db.value()->StoreTrialLog({"kim", 1, "h", "log", "2026-12-06 10:00:00"}).error().find("disk full"),
              std::string::npos);
    // The next connection works as ever.
    auto again = ExperimentDb::Open(url, OpenMode::ReadWrite);
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_TRUE(again.value()->SaveTrialNum("kim", 0).ok());
    db = Fault{"closed"};
    again = Fault{"closed"};
    testsupport::DropServerDatabase(url);
}

}  // namespace
}  // namespace kestu::testing
