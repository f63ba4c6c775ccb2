#include "session_fixture.h"
#include "trials/log_reader.h"

namespace kestu::testing {
namespace {

using TrialTest = SessionTest;

// The trial's numbers are the reference trials' business; here, what the
// store and the folder are given, and when.
TEST_F(TrialTest, ExperimentTrialRecordsItsRowLogAndCounter)
{
    session->trial.SetUpTrial();
    EXPECT_EQ(session->controls.TrialNumShown, 5);
    EXPECT_TRUE(session->controls.SimulateEnabled && session->controls.FFEnabled);
    EXPECT_TRUE(std::filesystem::exists(dir / "ann.5"));

    session->trial.StartOrStop();
    ASSERT_TRUE(store.started.has_value());
    EXPECT_EQ(std::tuple(store.started->Experiment, store.started->Scenario, store.started->Date, store.started->SimRate),
              std::tuple(5, "Standard", "2026-12-06", 15));  // the speed the trial runs at, 1937 ms
    EXPECT_EQ(store.savedTrialNum, 5);  // saved at once, before any tick
    EXPECT_FALSE(session->controls.SetupVisible);

    session->trial.ClickSwitch(14);
    RunToEnd();
    ASSERT_TRUE(store.result.has_value());
    EXPECT_EQ(store.result->MissedBuckets, session->missed.Total);
    EXPECT_EQ(store.result->EndTime, "10:11:12");
    EXPECT_DOUBLE_EQ(*store.result->BusyTime + *store.result->SweepTime + *store.result->IdleTime, 1.0);
    EXPECT_GT(*store.result->BusyTime, 0);
    // The database keeps the finished log, byte for byte, once.
    ASSERT_EQ(store.logs.size(), 1u);
    EXPECT_EQ(std::tuple(store.logs[0].Bytes, store.logs[0].Experiment, store.logs[0].WrittenAt),
              std::tuple(ReadText(dir / "ann.5"), 5, "2026-12-06 10:11:12"));
    EXPECT_EQ(Headers(dir / "ann.5").back(), "0,12,\"STOP\",0");
    session->CloseWindow();
    EXPECT_EQ(store.logs.size(), 1u);
    EXPECT_FALSE(session->controls.SwitchesEnabled);
    EXPECT_TRUE(session->controls.SetupVisible && session->controls.SetupEnabled && session->controls.DetailFBVisible);
    EXPECT_EQ(participant.TrialNum, 5);
    EXPECT_TRUE(reports.empty());

    session->trial.SetUpTrial();
    EXPECT_EQ(session->controls.TrialNumShown, 6);
    EXPECT_TRUE(std::filesystem::exists(dir / "ann.6"));
}

TEST_F(TrialTest, TrainingWritesNothingAndClearsTheTotalAtTheEnd)
{
    session->trial.SetUpTraining();
    EXPECT_TRUE(participant.TrainingMode);
    EXPECT_FALSE(session->controls.TrialNumShown.has_value());
    EXPECT_EQ(session->controls.ModeShown, SimulatorMode::Training);
    EXPECT_FALSE(session->controls.FFVisible);
    session->trial.StartOrStop();
    RunToEnd();
    EXPECT_EQ(plant().Clock, (ClockTime{0, 5}));  // the earliest deadline
    EXPECT_EQ(session->missed.Total, 0);
    EXPECT_FALSE(store.started || store.result);
    EXPECT_EQ(store.savedTrialNum, 4);  // rewritten unchanged
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    EXPECT_TRUE(session->controls.FFVisible && !session->controls.FFEnabled);  // feedforward offered: shown, disabled
}

TEST_F(TrialTest, ClosingMidTrialStopsTheLogOnceAndSavesTheCounter)
{
    StartTrial();
    Ticks(2);
    store.savedTrialNum.reset();
    session->CloseWindow();
    session->CloseWindow();
    EXPECT_EQ(Headers(dir / "ann.5"), std::vector<std::string>{"0,2,\"STOP\",0"});
    ASSERT_EQ(store.logs.size(), 1u);  // the log as the close left it
    EXPECT_EQ(store.logs[0].Bytes, ReadText(dir / "ann.5"));
    EXPECT_EQ(store.savedTrialNum, 5);
    EXPECT_EQ(store.saves, 1);  // the start claims the number; the close saves once, not again
    EXPECT_FALSE(store.result.has_value());
}

TEST_F(TrialTest, ASetupThatNeverStartsLeavesNoLogAndTheCounter)
{
    session->trial.SetUpTrial();
    session->trial.ClickSwitch(0);  // logged before the start
    session->trial.SetUpTrial();    // set up again: the same number, a fresh log
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(session->controls.TrialNumShown, 5);
    EXPECT_TRUE(Headers(dir / "ann.5").empty());
    session->CloseWindow();
    EXPECT_FALSE(std::filesystem::exists(dir / "ann.5"));
    EXPECT_EQ(store.savedTrialNum, 4);
    EXPECT_FALSE(store.started.has_value());
}

// No trial runs without its log, and an earlier log is never written over;
// an empty one is what a copy killed between setup and start leaves.
TEST_F(TrialTest, NoTrialRunsWithoutALogOfItsOwn)
{
    std::filesystem::create_directories(dir / "ann.5");
    session->trial.SetUpTrial();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("ann.5"), std::string::npos);
    EXPECT_FALSE(session->controls.SimulateEnabled);
    EXPECT_TRUE(session->controls.SetupVisible);
    EXPECT_FALSE(session->controls.TrialNumShown.has_value());
    std::filesystem::remove(dir / "ann.5");

    std::ofstream(dir / "ann.5", std::ios::binary) << "kept";
    session->trial.SetUpTrial();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].find("ann.5"), std::string::npos);
    EXPECT_FALSE(session->controls.SimulateEnabled);
    session->CloseWindow();
    EXPECT_EQ(ReadText(dir / "ann.5"), "kept");

    std::ofstream(dir / "ann.5", std::ios::trunc);
    OpenWindow();
    session->trial.SetUpTrial();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_TRUE(session->controls.SimulateEnabled);
}

TEST_F(TrialTest, RandomMethodClicksAtSetupAndThoseClicksAreLogged)
{
    session->decisionChoice = 1;
    session->engine.random().Seed(3);
    session->trial.SetUpTrial();
    EXPECT_FALSE(session->controls.SwitchesEnabled);
    const auto headers = Headers(dir / "ann.5");
    ASSERT_EQ(headers.size(), 3u);  // tanks 0, 1 and 7 hold water
    for (const auto& h : headers) EXPECT_EQ(h.rfind("0,0,\"ON\",", 0), 0u) << h;
    session->trial.ClickSwitch(3);  // the buttons are disabled
    EXPECT_EQ(session->engine.GetSwitchStatus(3), SwitchStatus::Off);
}

TEST_F(TrialTest, DatabaseFailureAtStartIsReportedOnceAndStopsCleanly)
{
    store.failAdd = store.failSave = "KESTU.MDB: cannot be opened";
    StartTrial();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(session->engine.TimerRunning());
    EXPECT_TRUE(session->controls.SetupVisible);
    // The number was never claimed: no log is left under it and it is free again.
    EXPECT_FALSE(std::filesystem::exists(dir / "ann.5"));
    EXPECT_EQ(session->participant.TrialNum, 4);
    store.failAdd.clear();
    session->trial.SetUpTrial();
    EXPECT_EQ(session->controls.TrialNumShown, 5);
    EXPECT_TRUE(std::filesystem::exists(dir / "ann.5"));
}

TEST_F(TrialTest, EndFailureIsReportedOnceAndTheLogIsKept)
{
    store.failComplete = "row gone";
    StartTrial();
    store.failSave = "file gone";
    RunToEnd();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(session->engine.TimerRunning());
    EXPECT_EQ(Headers(dir / "ann.5").back(), "0,12,\"STOP\",0");
}

TEST_F(TrialTest, BadScenarioIsReportedAndNothingIsSetUp)
{
    store.tables.deadline = {{24, 0, 5, 3}};
    session->trial.SetUpTrial();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("TankNum"), std::string::npos);
    EXPECT_FALSE(session->controls.SimulateEnabled);
    EXPECT_FALSE(std::filesystem::exists(dir / "ann.5"));
}

// A trial on a failing disk: the log keeps every whole record written before
// the fault, the trial stops with one message, and its row never claims
// results that its log cannot show.
TEST_F(TrialTest, AFailedLogWriteStopsTheTrialAndKeepsEveryWholeRecord)
{
    // Records 1 and 2 are written, the third fails halfway.
    session->log.wrapSink = FailOnWrite(3);
    StartTrial();
    session->trial.ClickSwitch(0);
    Ticks(1);
    session->trial.ClickSwitch(2);
    EXPECT_TRUE(reports.empty());
    Ticks(1);
    session->trial.ClickSwitch(14);  // the record that cannot be written

    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("ann.5"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("No space left on device"), std::string::npos) << reports[0];
    EXPECT_FALSE(session->engine.TimerRunning());
    EXPECT_FALSE(session->controls.SwitchesEnabled);
    ASSERT_TRUE(store.started.has_value());
    EXPECT_FALSE(store.result.has_value());  // the row keeps empty results
    EXPECT_EQ(store.savedTrialNum, 5);       // the trial still counts

    TrialLogReader reader;
    ASSERT_TRUE(reader.Open((dir / "ann.5").string())) << reader.Error();
    EXPECT_EQ(reader.RecordCount(), 2u);
    EXPECT_EQ(Headers(dir / "ann.5"), (std::vector<std::string>{"0,0,\"ON\",0", "0,1,\"ON\",2"}));

    // Nothing more is written or reported, also not at the close.
    RunToEnd();
    session->CloseWindow();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(Headers(dir / "ann.5").size(), 2u);
}

// The kernel's own full disk is the command-line tests' business; here a log
// that cannot be synced at the end.
TEST_F(TrialTest, ALogThatCannotBeSyncedAtTheEndLeavesTheRowWithoutResults)
{
    session->log.wrapSink = FailOnWrite(0, /*failSync=*/true);
    StartTrial();
    RunToEnd();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("cannot be written"), std::string::npos) << reports[0];
    EXPECT_FALSE(store.result.has_value());
    EXPECT_FALSE(session->engine.TimerRunning());
}

}  // namespace
}  // namespace kestu::testing
