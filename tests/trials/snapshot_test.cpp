#include "session_fixture.h"
#include "trials/snapshot.h"

namespace kestu::testing {
namespace {

// The reference trials save and restore ordinary plants; these are the cases they may not reach.
using SnapshotTest = SessionTest;

TEST_F(SnapshotTest, WaitingSwitchIsShownQueuedAfterTheRestore)
{
    store.tables.exogenous[0].Water = {};
    for (int t = 0; t < 6; ++t) store.tables.exogenous[0].Water[t] = 20;
    StartTrial();
    for (int t = 0; t < 5; ++t) session->trial.ClickSwitch(2 * t);
    session->trial.ClickSwitch(0);   // cleaning
    session->trial.ClickSwitch(10);  // waits for switch 0's pump
    ASSERT_EQ(session->engine.GetSwitchStatus(10), SwitchStatus::Queued);
    session->snapshots.SaveOrRestore();
    Ticks(12);  // the handover happens
    ASSERT_EQ(session->engine.GetSwitchStatus(10), SwitchStatus::On);
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(session->engine.GetSwitchStatus(10), SwitchStatus::Queued);
    EXPECT_EQ(plant().PumpHandover[0], 10);
}

TEST_F(SnapshotTest, RestoreNeverStartsAStoppedTimerAndSetupEndsAPendingSnapshot)
{
    int restarts = 0;
    session->host.restartTimer = [&] { ++restarts; };
    session->trial.SetUpTrial();
    session->snapshots.SaveOrRestore();
    session->snapshots.SaveOrRestore();
    EXPECT_FALSE(session->engine.TimerRunning());
    EXPECT_EQ(restarts, 0);
    session->trial.StartOrStop();
    session->snapshots.SaveOrRestore();
    Ticks(2);
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(session->engine.TimerRunning());
    session->snapshots.SaveOrRestore();
    RunToEnd();
    session->trial.SetUpTrial();
    EXPECT_FALSE(session->controls.SnapshotPending);
}

// A restore takes only the snapshot this trial saved: a changed file, another
// trial's or none is reported, the plant goes on and nothing is logged. A save
// that cannot write its file holds no snapshot and is not logged either.
TEST_F(SnapshotTest, ARestoreRefusesAnyFileButTheOneThisTrialSavedAndAFailedSaveHoldsNone)
{
    StartTrial();
    Ticks(3);
    session->snapshots.SaveOrRestore();
    const std::string ours = ReadText(dir / "ann.DAT");
    Ticks(4);
    std::string changed = ours, foreign = ours;
    changed.replace(changed.find("10,2,1,.5"), 9, "10,2,1,x");
    foreign.replace(0, foreign.find(','), "1");
    for (const std::string& text : {changed, foreign}) {
        std::ofstream(dir / "ann.DAT", std::ios::binary | std::ios::trunc) << text;
        session->snapshots.SaveOrRestore();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find("not the one this trial saved"), std::string::npos) << reports[0];
        reports.clear();
    }
    std::filesystem::remove(dir / "ann.DAT");
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(plant().Clock.Seconds, 7);
    EXPECT_TRUE(session->controls.SnapshotPending);
    EXPECT_EQ(Headers(dir / "ann.5").back(), "0,3,\"FF\",0");

    std::ofstream(dir / "ann.DAT", std::ios::binary) << ours;
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(plant().Clock.Seconds, 3);

    std::filesystem::remove(dir / "ann.DAT");
    std::filesystem::create_directories(dir / "ann.DAT");  // a folder where the snapshot should go
    session->snapshots.SaveOrRestore();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].find("ann.DAT"), std::string::npos);
    EXPECT_FALSE(session->controls.SnapshotPending);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "ann.DAT"));
    EXPECT_EQ(Headers(dir / "ann.5").back(), "0,7,\"FFR\",0");
}

// A plant whose arrivals have run out, with a negative total and a promised
// pump, reads back as it was written; half a file is refused.
TEST(SnapshotText, ArrivalsRunOutAndRoundTrip)
{
    PlantState plant;
    plant.Tanks[3].Water = 1.0 / 3;
    plant.Tanks[3].OutCount = 2;
    plant.Tanks[3].OutTo[2] = -1;
    plant.Tanks[3].OutShare[2] = 1 - (0.7 + 0.2 + 0.1);
    plant.PumpState[5] = -2;
    plant.PumpHandover[5] = 9;
    const std::string text = SnapshotText(TakeSnapshot(plant, std::nullopt, -4));
    EXPECT_NE(text.find("-1,1.11022302462516E-16\r\n"), std::string::npos);
    const auto back = ParseSnapshot(text);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_FALSE(back.value().NextArrival.has_value());
    EXPECT_EQ(back.value().MissedTotal, -4);
    EXPECT_EQ(back.value().PumpHandover[5], 9);
    EXPECT_EQ(SnapshotText(back.value()), text);
    const auto half = ParseSnapshot(text.substr(0, text.size() / 2));
    ASSERT_FALSE(half.ok());
    EXPECT_NE(half.error().find("lines"), std::string::npos);
}

}  // namespace
}  // namespace kestu::testing
