#include "session_fixture.h"
#include "trials/snapshot.h"

namespace kestu::testing {
namespace {

class SnapshotTest : public SessionTest {
protected:
    void StartTrial()
    {
        session->trial.SetUpTrial();
        session->trial.StartOrStop();
    }
    void Ticks(int n)
    {
        for (int k = 0; k < n; ++k) session->engine.Simulate();
    }
};

TEST_F(SnapshotTest, RestoreReturnsThePlantButKeepsDeadlinesAndStatistics)
{
    StartTrial();
    session->trial.ClickSwitch(0);
    session->trial.ClickSwitch(14);
    Ticks(2);  // clock 0:02, the 0:03 arrival still to come
    session->trial.ClickSwitch(14);  // cleaning
    const PlantState atSave = plant();
    session->snapshots.SaveOrRestore();
    EXPECT_TRUE(session->controls.SnapshotPending);
    EXPECT_TRUE(session->controls.SnapshotPending);

    Ticks(4);
    const auto busy = plant().BusyPumpTicks;
    const auto expect0 = plant().Tanks[0].ExpectAmt;
    ASSERT_NE(plant().Tanks[0].Water, atSave.Tanks[0].Water);
    session->snapshots.SaveOrRestore();
    EXPECT_FALSE(session->controls.SnapshotPending);
    EXPECT_EQ(plant().Clock.Seconds, 2);
    for (int t = 0; t < TankCount; ++t) EXPECT_EQ(plant().Tanks[t].Water, atSave.Tanks[t].Water);
    EXPECT_EQ(plant().PumpsAllocated, atSave.PumpsAllocated);
    EXPECT_EQ(plant().CleaningQueue, atSave.CleaningQueue);
    EXPECT_EQ(session->engine.NextArrivalRow(), 1u);
    EXPECT_EQ(session->engine.GetSwitchStatus(0), SwitchStatus::On);
    EXPECT_EQ(session->engine.GetSwitchStatus(14), SwitchStatus::Clean);
    EXPECT_EQ(plant().PumpState[14], -5);  // cleaning starts afresh
    EXPECT_EQ(plant().BusyPumpTicks, busy);
    EXPECT_EQ(plant().Tanks[0].ExpectAmt, expect0);
    const auto headers = Headers(dir / "ann.5");
    EXPECT_EQ(headers[headers.size() - 2], "0,2,\"FF\",0");
    EXPECT_EQ(headers.back(), "0,6,\"FFR\",0");
}

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

TEST_F(SnapshotTest, FileHas287LinesWithTheirFieldCounts)
{
    StartTrial();
    session->snapshots.SaveOrRestore();
    const std::string text = ReadText(dir / "ann.DAT");
    EXPECT_FALSE(std::filesystem::exists(dir / "ann.DAT.tmp"));
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 287u);
    auto fields = [](const std::string& line) { return std::count(line.begin(), line.end(), ',') + 1; };
    EXPECT_EQ(lines[0], "0,0,0,0,0,3,\"0\"");
    for (int k = 1; k <= 10; ++k) EXPECT_EQ(fields(lines[k]), 1);
    for (int t = 0; t < 23; ++t) {
        EXPECT_EQ(fields(lines[11 + 10 * t]), 4);
        for (int k = 1; k < 10; ++k) EXPECT_EQ(fields(lines[11 + 10 * t + k]), 2);
    }
    for (int i = 0; i < 46; ++i) EXPECT_EQ(fields(lines[241 + i]), 2);
    EXPECT_EQ(lines[11], "10,2,1,.5");
}

TEST_F(SnapshotTest, BadOrMissingFileIsReportedAndThePlantKept)
{
    StartTrial();
    session->snapshots.SaveOrRestore();
    Ticks(3);
    const PlantState before = plant();
    std::string text = ReadText(dir / "ann.DAT");
    text.replace(text.find("10,2,1,.5"), 9, "10,2,1,x");
    std::ofstream(dir / "ann.DAT", std::ios::binary) << text;
    session->snapshots.SaveOrRestore();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("not the one this trial saved"), std::string::npos) << reports[0];
    EXPECT_EQ(plant().Clock.Seconds, before.Clock.Seconds);
    EXPECT_EQ(plant().Tanks[0].Water, before.Tanks[0].Water);
    EXPECT_EQ(Headers(dir / "ann.5").back(), "0,0,\"FF\",0");  // no restore recorded
    std::filesystem::remove(dir / "ann.DAT");
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_TRUE(session->controls.SnapshotPending);
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

TEST(SnapshotText, ArrivalsRunOutAndRoundTrip)
{
    PlantState plant;
    plant.Tanks[3].Water = 1.0 / 3;
    plant.Tanks[3].OutCount = 2;
    plant.Tanks[3].OutTo[2] = -1;
    plant.Tanks[3].OutShare[2] = 1 - (0.7 + 0.2 + 0.1);
    plant.PumpState[5] = -2;
    plant.PumpHandover[5] = 9;
    const Snapshot taken = TakeSnapshot(plant, std::nullopt, -4);
    const std::string text = SnapshotText(taken);
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
