// A server that goes away in the middle of a trial: the trial runs on, its
// log and results wait in the seat's outbox, and they reach the server once,
// and only once, when it is back.
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>
#include <fstream>

#include "data/db_experiment_store.h"
#include "data/outbox.h"
#include "db_fixture.h"
#include "ui/fault_words.h"
#include "trials/file_sink.h"
#include "support/own_cluster.h"
#include "trials/trial_session.h"

namespace kestu::testing {
namespace {

using testsupport::OwnCluster;

TEST(ServerFault, ATrialWhoseServerGoesAwayKeepsItsResultsAndTheyAreDeliveredOnce)
{
    OwnCluster server;
    const std::string url = server.url();
    ASSERT_FALSE(url.empty()) << "the test cluster did not start (run through ctest)";
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::StandardScenario).ok());
    ASSERT_TRUE(ExperimentDb::Open(url, OpenMode::ReadWrite).value()->AddParticipant({"kim"}).ok());

    QTemporaryDir study;
    const std::string folder = study.path().toStdString();
    ParticipantState participant;
    participant.UserID = "kim";
    DbExperimentStore store(url, OutboxPath(folder));
    TrialSession session(participant, store, folder);
    std::vector<std::string> reports;
    CallbackObserver words([&](const TrialEvent& event) {
        if (event.Fault) reports.push_back(FaultSentence(*event.Fault));
    });
    session.observers.Add(&words);
    session.decisionChoice = 1;
    ASSERT_TRUE(session.trial.LoadPlant());
    ASSERT_TRUE(session.trial.SetUpTrial());
    session.trial.StartOrStop();  // the trial's number is claimed on the server
    ASSERT_TRUE(session.Ticking()) << (reports.empty() ? "" : reports.front());

    ASSERT_TRUE(server.Run("halt"));
    while (session.Ticking()) session.Tick();
    session.CloseWindow();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("kept on this computer"), std::string::npos) << reports[0];
    const auto kept = ReadOutbox(OutboxPath(folder));
    ASSERT_TRUE(kept.ok()) << kept.error();
    ASSERT_EQ(kept.value().entries.size(), 2u) << "the log, then the results";
    EXPECT_TRUE(kept.value().entries[0].log());
    EXPECT_EQ(store.ResultsKeptIn(), OutboxPath(folder));

    // Nothing is delivered while the server is away, and nothing is lost.
    EXPECT_EQ(DeliverOutbox(OutboxPath(folder), url).value().left, 2u);
    ASSERT_TRUE(server.Run("resume"));
    const auto delivered = DeliverOutbox(OutboxPath(folder), url);
    ASSERT_TRUE(delivered.ok()) << delivered.error();
    EXPECT_EQ(delivered.value().delivered, 2u);
    EXPECT_EQ(delivered.value().left, 0u);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(OutboxPath(folder))));

    auto db = ExperimentDb::Open(url, OpenMode::ReadOnly);
    ASSERT_TRUE(db.ok()) << db.error();
    const auto rows = db.value()->ReadExperimentRows("kim").value();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].MissedBuckets, static_cast<double>(session.missed.Total));
    const auto logs = db.value()->ReadTrialLogs("kim").value();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].Bytes, ReadWholeFile(folder + "/kim.1").value());

    // A delivery repeated (a copy that died before it emptied its outbox) stores nothing twice.
    for (const OutboxEntry& entry : kept.value().entries) ASSERT_TRUE(AppendToOutbox(OutboxPath(folder), entry).ok());
    EXPECT_EQ(DeliverOutbox(OutboxPath(folder), url).value().delivered, 2u);
    EXPECT_EQ(db.value()->ReadTrialLogs("kim").value().size(), 1u);
    EXPECT_EQ(db.value()->ReadExperimentRows("kim").value().size(), 1u);
}

// One trial of "kim" on the server, `meanwhile` done to the server between
// the claim and the end; what the participant was told.
std::vector<std::string> RunTrial(DbExperimentStore& store, const std::string& folder, int trialsDone,
                                  const std::function<void()>& meanwhile)
{
    ParticipantState participant;
    participant.UserID = "kim";
    participant.TrialNum = trialsDone;
    TrialSession session(participant, store, folder);
    std::vector<std::string> reports;
    CallbackObserver words([&](const TrialEvent& event) {
        if (event.Fault) reports.push_back(FaultSentence(*event.Fault));
    });
    session.observers.Add(&words);
    session.decisionChoice = 1;
    EXPECT_TRUE(session.trial.LoadPlant());
    EXPECT_TRUE(session.trial.SetUpTrial());
    session.trial.StartOrStop();
    EXPECT_TRUE(session.Ticking()) << (reports.empty() ? "" : reports.front());
    meanwhile();
    while (session.Ticking()) session.Tick();
    session.CloseWindow();
    return reports;
}

TEST(ServerFault, AServerRestartedDuringATrialTakesItsResultsAndWhatCannotBeKeptIsAFailure)
{
    OwnCluster server;
    const std::string url = server.url();
    ASSERT_FALSE(url.empty()) << "the test cluster did not start (run through ctest)";
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::StandardScenario).ok());
    ASSERT_TRUE(ExperimentDb::Open(url, OpenMode::ReadWrite).value()->AddParticipant({"kim"}).ok());
    QTemporaryDir study;
    const std::string folder = study.path().toStdString();

    // The seat's kept connection died with the server; a fresh one delivers.
    DbExperimentStore store(url, OutboxPath(folder));
    std::vector<std::string> details;
    const auto restarted = RunTrial(store, folder, 0, [&] { ASSERT_TRUE(server.Run("halt") && server.Run("resume")); });
    EXPECT_TRUE(restarted.empty()) << restarted.front();
    EXPECT_TRUE(details.empty());
    EXPECT_EQ(store.ResultsKeptIn(), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(OutboxPath(folder))));
    auto db = ExperimentDb::Open(url, OpenMode::ReadOnly);
    ASSERT_TRUE(db.ok()) << db.error();
    ASSERT_EQ(db.value()->ReadExperimentRows("kim").value().size(), 1u);
    EXPECT_TRUE(db.value()->ReadExperimentRows("kim").value()[0].MissedBuckets.has_value());
    EXPECT_EQ(db.value()->ReadTrialLogs("kim").value().size(), 1u);
    const std::string study_id = db.value()->StudyId().value();
    db.value().reset();

    // A server gone for good: the participant reads one plain sentence, the
    // server's own words go to standard error once, and the entries carry the study.
    const auto kept = RunTrial(store, folder, 1, [&] { ASSERT_TRUE(server.Run("halt")); });
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_NE(kept[0].find("The study's server cannot be reached, so this trial's results are kept on this computer, in " +
                           OutboxPath(folder)),
              std::string::npos)
        << kept[0];
    for (const char* raw : {"FATAL", "connection", "\t", "Connection refused"})
        EXPECT_EQ(kept[0].find(raw), std::string::npos) << "the participant reads \"" << raw << "\": " << kept[0];
    EXPECT_EQ(store.ResultsKeptIn(), OutboxPath(folder));
    const auto entries = ReadOutbox(OutboxPath(folder));
    ASSERT_TRUE(entries.ok()) << entries.error();
    ASSERT_EQ(entries.value().entries.size(), 2u);
    for (const OutboxEntry& e : entries.value().entries) {
        EXPECT_EQ(e.study, study_id);
        EXPECT_EQ(e.trial().UserID, "kim");
        EXPECT_EQ(e.trial().Experiment, 2);
    }

    // With nowhere to keep them, the results are not said to be kept.
    ASSERT_TRUE(server.Run("resume"));
    DbExperimentStore nowhere(url, OutboxPath(folder + "/no such folder"));
    const auto lost = RunTrial(nowhere, folder, 2, [&] { ASSERT_TRUE(server.Run("halt")); });
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_NE(lost[0].find("could not be recorded. Please write them down"), std::string::npos) << lost[0];
    EXPECT_EQ(lost[0].find("are kept on this computer"), std::string::npos) << lost[0];
    EXPECT_EQ(nowhere.ResultsKeptIn(), std::nullopt);
}

}  // namespace
}  // namespace kestu::testing
