// The study's own rules, on both databases a study may live in: it has an
// identity; a trial's log is kept once; a trial count never goes back; a
// finished row is never written over; and seats claiming at once never
// fail for being at once nor record one trial number twice.
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <map>
#include <thread>

#include "backend_fixture.h"

namespace kestu::testing {
namespace {

class StudyRules : public BackendTest {
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        const Status created = ExperimentDb::Create(location_, NewDbContent::StandardScenario);
        ASSERT_TRUE(created.ok()) << created.error();
        db_ = Open();
        ASSERT_NE(db_, nullptr);
    }
    void TearDown() override
    {
        db_.reset();
        BackendTest::TearDown();
    }

    std::unique_ptr<ExperimentDb> Open()
    {
        auto opened = ExperimentDb::Open(location_, OpenMode::ReadWrite);
        EXPECT_TRUE(opened.ok()) << opened.error();
        return opened.ok() ? std::move(opened).value() : nullptr;
    }

    std::string Count(const std::string& user) { return db_->FindParticipant(user).value()->TrialNum; }

    std::unique_ptr<ExperimentDb> db_;
};

TEST_P(StudyRules, EachStudyHasAnIdentityOfItsOwnAndAStudyMadeBeforeHasNone)
{
    const auto id = db_->StudyId();
    ASSERT_TRUE(id.ok()) << id.error();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(QString::fromStdString(id.value())).hasMatch())
        << id.value();
    // Another study, made the same way at once, has another.
    QTemporaryDir other;
    const std::string otherPath = other.filePath(QStringLiteral("KESTU.MDB")).toStdString();
    ASSERT_TRUE(ExperimentDb::Create(otherPath, NewDbContent::SchemaOnly).ok());
    EXPECT_NE(ExperimentDb::Open(otherPath, OpenMode::ReadOnly).value()->StudyId().value(), id.value());
    EXPECT_EQ(Open()->StudyId().value(), id.value()) << "read again, the same";

    Sql("DROP TABLE \"StudyInfo\"");
    const auto none = Open()->StudyId();
    ASSERT_TRUE(none.ok()) << none.error();
    EXPECT_EQ(none.value(), "");
}

TEST_P(StudyRules, ATrialCountOnlyEverRises)
{
    ASSERT_TRUE(db_->AddParticipant({"kim"}).ok());
    ASSERT_TRUE(db_->ClaimTrial(Start("kim", 1)).ok());
    ASSERT_TRUE(db_->ClaimTrial(Start("kim", 2)).ok());
    EXPECT_EQ(Count("kim"), "2");
    // A copy closing with an older count leaves the newer one.
    ASSERT_TRUE(Open()->SaveTrialNum("kim", 1).ok());
    EXPECT_EQ(Count("kim"), "2");
    ASSERT_TRUE(db_->SaveTrialNum("kim", 2).ok());
    EXPECT_EQ(Count("kim"), "2");
    ASSERT_TRUE(db_->SaveTrialNum("kim", 3).ok());
    EXPECT_EQ(Count("kim"), "3");

    // A count put back by hand never frees a recorded number.
    Sql("UPDATE \"UserData\" SET \"TrialNum\" = '1' WHERE \"UserID\" = 'kim'");
    EXPECT_EQ(db_->ClaimTrial(Start("kim", 2)).error(),
              location_ + ": cannot claim trial 2 of User ID \"kim\": that trial number is already taken (the "
                          "participant has 2 trials); is another copy of Kestu running?");
    EXPECT_EQ(Count("kim"), "1");
    const auto third = db_->ClaimTrial(Start("kim", 3));
    ASSERT_TRUE(third.ok()) << third.error();
    EXPECT_EQ(Count("kim"), "3");
    EXPECT_EQ(db_->ReadExperimentRows("kim").value().size(), 3u);

    // A count that is no number is never written over, and no trial is claimed on it.
    Sql("UPDATE \"UserData\" SET \"TrialNum\" = 'three' WHERE \"UserID\" = 'kim'");
    EXPECT_EQ(db_->SaveTrialNum("kim", 9).error(),
              location_ + ": cannot save the trial count of User ID \"kim\" in table \"UserData\": its trial count "
                          "\"three\" is not a number");
    EXPECT_NE(db_->ClaimTrial(Start("kim", 9)).error().find("\"three\" is not a number"), std::string::npos);
    EXPECT_EQ(Count("kim"), "three");
    for (const char* stored : {"4v", "v4", "4.0", "--4"}) {
        Sql(std::string("UPDATE \"UserData\" SET \"TrialNum\" = '") + stored + "' WHERE \"UserID\" = 'kim'");
        EXPECT_FALSE(db_->SaveTrialNum("kim", 9).ok()) << stored;
        EXPECT_EQ(Count("kim"), stored);
    }
    Sql("UPDATE \"UserData\" SET \"TrialNum\" = ' 4 ' WHERE \"UserID\" = 'kim'");
    ASSERT_TRUE(db_->SaveTrialNum("kim", 3).ok());
    EXPECT_EQ(Count("kim"), " 4 ");
    EXPECT_EQ(db_->SaveTrialNum("nobody", 3).error(),
              location_ + ": cannot save the trial count of User ID \"nobody\" in table \"UserData\": no row for that "
                          "User ID");
}

TEST_P(StudyRules, OnlyARowWhoseResultsAreEmptyIsCompletedAndOnlyTheNamedParticipantsRow)
{
    ASSERT_TRUE(db_->AddParticipant({"kim"}).ok());
    ASSERT_TRUE(db_->AddParticipant({"ann"}).ok());
    const auto kims = db_->ClaimTrial(Start("kim", 1));
    const auto anns = db_->ClaimTrial(Start("ann", 1));
    ASSERT_TRUE(kims.ok() && anns.ok());
    ASSERT_TRUE(db_->ClaimTrial(Start("ann", 2)).ok());
    ASSERT_TRUE(db_->CompleteExperiment(kims.value(), End("14:00:00")).ok());

    ExperimentResult overwrite = End("15:00:00");
    overwrite.MissedBuckets = 999;
    if (GetParam() == Where::File)
        EXPECT_EQ(db_->CompleteExperiment(kims.value(), overwrite).error(),
                  location_ + ": cannot complete row " + std::to_string(kims.value()) +
                      " of table \"Experiments\": its results are already filled in");
    else
        EXPECT_EQ(db_->CompleteExperiment(kims.value(), overwrite).error(),
                  location_ + ": cannot complete row " + std::to_string(kims.value()) +
                      " of table \"Experiments\": no row of that trial is waiting for its results");
    EXPECT_EQ(db_->CompleteTrial({"kim", 1}, overwrite).error(),
              location_ + ": cannot complete trial 1 of User ID \"kim\" in table \"Experiments\": no row of that trial "
                          "is waiting for its results");
    // The same results delivered again are taken, and change nothing.
    EXPECT_TRUE(db_->CompleteTrial({"kim", 1}, End("14:00:00")).ok());
    EXPECT_TRUE(db_->CompleteExperiment(kims.value(), End("14:00:00")).ok());
    // kim has no trial 2; ann's empty trial 2 is not kim's to fill.
    EXPECT_FALSE(db_->CompleteTrial({"kim", 2}, overwrite).ok());
    EXPECT_EQ(db_->ReadExperimentRows("kim").value()[0].MissedBuckets, 2.5);
    EXPECT_EQ(db_->ReadExperimentRows("ann").value()[1].MissedBuckets, std::nullopt);

    // A row ended by hand with only an end time is finished too.
    Sql("UPDATE \"Experiments\" SET \"EndTime\" = '14:10:00' WHERE \"UserID\" = 'ann' AND \"Experiment\" = 1");
    EXPECT_FALSE(db_->CompleteExperiment(anns.value(), overwrite).ok());
    EXPECT_FALSE(db_->CompleteTrial({"ann", 1}, overwrite).ok());
    EXPECT_EQ(db_->ReadExperimentRows("ann").value()[0].MissedBuckets, std::nullopt);
    ASSERT_TRUE(db_->CompleteTrial({"ann", 2}, End()).ok());
    EXPECT_EQ(db_->ReadExperimentRows("ann").value()[1].MissedBuckets, 2.5);
}

// Seats start trials at once: different participants on one file, the same
// participant on a server (where a participant's lock may be lost).
TEST_P(StudyRules, ClaimsAtOnceNeitherFailForBeingAtOnceNorRecordANumberTwice)
{
    constexpr int Seats = 8;
    const bool sameParticipant = GetParam() == Where::Server;
    // On a file every claim waits its turn for the file's write lock, for at
    // most the connection's busy timeout; few enough claims that the last
    // one's turn comes well within it, on a loaded machine too.
    const int Trials = sameParticipant ? 12 : 3;
    for (int s = 0; s < Seats; ++s) ASSERT_TRUE(db_->AddParticipant({"p" + std::to_string(s)}).ok());

    std::atomic<int> ready{0};
    std::vector<std::vector<std::string>> failures(Seats);
    std::vector<int> claimed(Seats, 0);
    std::vector<std::thread> seats;
    for (int s = 0; s < Seats; ++s) {
        seats.emplace_back([&, s] {
            auto opened = ExperimentDb::Open(location_, OpenMode::ReadWrite);
            ++ready;
            while (ready < Seats) std::this_thread::yield();
            if (!opened) {
                failures[s].push_back(opened.error());
                return;
            }
            const std::string user = sameParticipant ? "p0" : "p" + std::to_string(s);
            for (int trial = 1; trial <= Trials; ++trial) {
                const auto row = opened.value()->ClaimTrial(Start(user, trial));
                if (row) {
                    ++claimed[s];
                } else if (!sameParticipant || row.error().find("already taken") == std::string::npos) {
                    failures[s].push_back(row.error());
                }
            }
        });
    }
    for (std::thread& seat : seats) seat.join();

    int total = 0;
    for (int s = 0; s < Seats; ++s) {
        EXPECT_TRUE(failures[s].empty()) << failures[s].size() << " claims failed, the first: " << failures[s].front();
        total += claimed[s];
    }
    std::map<std::pair<std::string, long long>, int> recorded;
    for (int s = 0; s < Seats; ++s) {
        const std::string user = "p" + std::to_string(s);
        const auto rows = db_->ReadExperimentRows(user);
        ASSERT_TRUE(rows.ok()) << rows.error();
        for (const ExperimentRow& row : rows.value()) ++recorded[{user, *row.Experiment}];
    }
    for (const auto& [trial, times] : recorded)
        EXPECT_EQ(times, 1) << "trial " << trial.second << " of " << trial.first << " recorded " << times << " times";
    EXPECT_EQ(static_cast<int>(recorded.size()), total);
    if (sameParticipant) {
        EXPECT_EQ(total, Trials) << "each number claimed by exactly one seat";
        EXPECT_EQ(Count("p0"), std::to_string(Trials));
    } else {
        EXPECT_EQ(total, Seats * Trials);
        for (int s = 0; s < Seats; ++s) EXPECT_EQ(Count("p" + std::to_string(s)), std::to_string(Trials));
    }
}

// Deliveries of the same logs from several connections at once.
TEST_P(StudyRules, ALogStoredAtOnceFromSeveralConnectionsIsKeptOnce)
{
    constexpr int Connections = 6;
    constexpr int Logs = 15;
    ASSERT_TRUE(db_->AddParticipant({"kim"}).ok());
    for (int trial = 1; trial <= Logs; ++trial) ASSERT_TRUE(db_->ClaimTrial(Start("kim", trial)).ok());

    std::atomic<int> ready{0};
    std::vector<std::string> failures(Connections);
    std::vector<std::thread> seats;
    for (int c = 0; c < Connections; ++c) {
        seats.emplace_back([&, c] {
            auto opened = ExperimentDb::Open(location_, OpenMode::ReadWrite);
            ++ready;
            while (ready < Connections) std::this_thread::yield();
            if (!opened) {
                failures[c] = opened.error();
                return;
            }
            for (int trial = 1; trial <= Logs && failures[c].empty(); ++trial) {
                const Status stored = opened.value()->StoreTrialLog(
                    {"kim", trial, "seat-" + std::to_string(c), "log of trial " + std::to_string(trial), "2026-12-06 10:00:00"});
                if (!stored) failures[c] = stored.error();
            }
        });
    }
    for (std::thread& seat : seats) seat.join();
    for (const std::string& failure : failures) EXPECT_EQ(failure, "");
    const auto logs = db_->ReadTrialLogs("kim");
    ASSERT_TRUE(logs.ok()) << logs.error();
    EXPECT_EQ(logs.value().size(), static_cast<std::size_t>(Logs));
    // The key itself refuses a second row, whoever writes it.
    if (GetParam() == Where::File) {
        EXPECT_TRUE(testsupport::RawSql(location_, "SELECT 1 FROM sqlite_master WHERE name = 'TrialLogsByTrial'").size() == 1u);
    } else {
        EXPECT_TRUE(db_->ReplaceTables({{"TrialLogs", {{"UserID", "Experiment"}, {{std::string("a"), 1LL}, {std::string("a"), 1LL}}}}})
                        .error()
                        .find("TrialLogs") != std::string::npos);
    }
}

// A server study made before the seats' functions existed is written as
// ever, by the same rules.
TEST(OlderServerStudy, IsWrittenWithoutTheFunctionsByTheSameRules)
{
    const std::string url = testsupport::NewServerDatabase();
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::StandardScenario).ok());
    ASSERT_TRUE(testsupport::ServerSql(url, "DROP FUNCTION kestu_add_participant, kestu_claim_trial, kestu_complete_trial, "
                                            "kestu_store_trial_log, kestu_save_trial_num, kestu_trial_count"));
    ASSERT_TRUE(testsupport::ServerSql(url, "DROP INDEX \"TrialLogsByTrial\""));
    {
        auto opened = ExperimentDb::Open(url, OpenMode::ReadWrite);
        ASSERT_TRUE(opened.ok()) << opened.error();
        ExperimentDb& db = *opened.value();
        ASSERT_TRUE(db.AddParticipant({"kim", "Kim", "Park", "", "", "", "", ""}).ok());
        EXPECT_EQ(db.FindParticipant("kim").value()->TrialNum, "0");
        const auto row = db.ClaimTrial(Start("kim", 1));
        ASSERT_TRUE(row.ok()) << row.error();
        EXPECT_FALSE(db.ClaimTrial(Start("kim", 1)).ok());
        ASSERT_TRUE(db.StoreTrialLog({"kim", 1, "h", "log", "2026-12-06 10:00:00"}).ok());
        ASSERT_TRUE(db.StoreTrialLog({"kim", 1, "h", "log", "2026-12-06 10:00:00"}).ok());
        EXPECT_EQ(db.ReadTrialLogs("kim").value().size(), 1u);
        ASSERT_TRUE(db.CompleteExperiment(row.value(), End()).ok());
        ExperimentResult other = End();
        other.MissedBuckets = 999;
        EXPECT_FALSE(db.CompleteTrial({"kim", 1}, other).ok());
        EXPECT_TRUE(db.CompleteTrial({"kim", 1}, End()).ok()) << "the same results again";
        ASSERT_TRUE(db.SaveTrialNum("kim", 0).ok());
        EXPECT_EQ(db.FindParticipant("kim").value()->TrialNum, "1");
    }
    testsupport::DropServerDatabase(url);
}

INSTANTIATE_TEST_SUITE_P(Backends, StudyRules, ::testing::Values(Where::File, Where::Server), BackendName);

}  // namespace
}  // namespace kestu::testing
