#include "session_fixture.h"
#include "trials/log_reader.h"

namespace kestu::testing {
namespace {

using TrialTest = SessionTest;

// The trial's numbers are the reference trials' business, and what the
// windows show of its row and log the whole-trial window test's; here, what
// the store and the folder are given, and when.
TEST_F(TrialTest, ExperimentTrialRecordsItsRowLogAndCounter)
{
    session->trial.SetUpTrial();
    EXPECT_EQ(session->controls.TrialNumShown, 5);
    EXPECT_TRUE(session->controls.SimulateEnabled && session->controls.FFEnabled);
    EXPECT_TRUE(std::filesystem::exists(dir / "ann.5"));

    session->trial.StartOrStop();
    ASSERT_TRUE(store.started.has_value());
    EXPECT_EQ(std::tuple(store.started->Experiment, store.started->Date, store.started->SimRate),
              std::tuple(5, "2026-12-06", 15));  // the speed the trial runs at, 1937 ms
    EXPECT_EQ(store.savedTrialNum, 5);           // saved at once, before any tick

    session->trial.ClickSwitch(14);
    RunToEnd();
    ASSERT_TRUE(store.result.has_value());
    EXPECT_EQ(std::tuple(store.result->MissedBuckets, store.result->EndTime), std::tuple(session->missed.Total, "10:11:12"));
    // The database keeps the finished log, byte for byte, once.
    ASSERT_EQ(store.logs.size(), 1u);
    EXPECT_EQ(std::tuple(store.logs[0].Bytes, store.logs[0].Experiment, store.logs[0].WrittenAt),
              std::tuple(ReadText(dir / "ann.5"), 5, "2026-12-06 10:11:12"));
    session->CloseWindow();
    EXPECT_EQ(store.logs.size(), 1u);
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

// A setup never started leaves no log and the counter as it was; closing
// mid-trial stops the log once and saves the counter once.
TEST_F(TrialTest, ClosingTheWindowBeforeOrDuringATrial)
{
    session->trial.SetUpTrial();
    session->trial.ClickSwitch(0);  // logged before the start
    session->trial.SetUpTrial();    // set up again: the same number, a fresh log
    EXPECT_EQ(session->controls.TrialNumShown, 5);
    EXPECT_TRUE(Headers(dir / "ann.5").empty());
    session->CloseWindow();
    EXPECT_FALSE(std::filesystem::exists(dir / "ann.5"));
    EXPECT_EQ(store.savedTrialNum, 4);
    EXPECT_FALSE(store.started.has_value());

    OpenWindow();
    StartTrial();
    Ticks(2);
    store.savedTrialNum.reset();
    store.saves = 0;
    session->CloseWindow();
    session->CloseWindow();
    EXPECT_EQ(Headers(dir / "ann.5"), std::vector<std::string>{"0,2,\"STOP\",0"});
    ASSERT_EQ(store.logs.size(), 1u);  // the log as the close left it
    EXPECT_EQ(store.logs[0].Bytes, ReadText(dir / "ann.5"));
    EXPECT_EQ(std::tuple(store.savedTrialNum, store.saves), std::tuple(5, 1));
    EXPECT_FALSE(store.result.has_value());
    EXPECT_TRUE(reports.empty());
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

// The Random method clicks at setup (the reference trials replay those clicks
// from its logs); nobody else may click.
TEST_F(TrialTest, RandomMethodClicksAtSetupAndLocksTheSwitches)
{
    session->decisionChoice = 1;
    session->trial.SetUpTrial();
    EXPECT_FALSE(session->controls.SwitchesEnabled);
    EXPECT_EQ(Headers(dir / "ann.5").size(), 3u);  // tanks 0, 1 and 7 hold water
    session->trial.ClickSwitch(3);
    EXPECT_EQ(session->engine.GetSwitchStatus(3), SwitchStatus::Off);
}

// A failure at the start stops the trial before its number is claimed, so no
// log is left under it and it is free again; one at the end keeps the log.
// Each is reported once.
TEST_F(TrialTest, DatabaseFailuresAtTheStartAndTheEnd)
{
    store.failAdd = store.failSave = "KESTU.MDB: cannot be opened";
    StartTrial();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(session->engine.TimerRunning());
    EXPECT_TRUE(session->controls.SetupVisible);
    EXPECT_FALSE(std::filesystem::exists(dir / "ann.5"));
    EXPECT_EQ(session->participant.TrialNum, 4);

    store.failAdd.clear();
    store.failSave.clear();
    store.failComplete = "row gone";
    StartTrial();
    EXPECT_EQ(session->controls.TrialNumShown, 5);
    store.failSave = "file gone";
    RunToEnd();
    EXPECT_EQ(reports.size(), 2u);
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
    session->log.wrapSink = FailOnWrite(3);  // records 1 and 2 are written, the third fails halfway
    StartTrial();
    session->trial.ClickSwitch(0);
    Ticks(1);
    session->trial.ClickSwitch(2);
    Ticks(1);
    EXPECT_TRUE(reports.empty());
    session->trial.ClickSwitch(14);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("ann.5"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("No space left on device"), std::string::npos) << reports[0];
    EXPECT_FALSE(session->engine.TimerRunning() || session->controls.SwitchesEnabled);
    EXPECT_TRUE(store.started && !store.result);  // the row keeps empty results
    EXPECT_EQ(store.savedTrialNum, 5);             // the trial still counts
    TrialLogReader reader;
    ASSERT_TRUE(reader.Open((dir / "ann.5").string())) << reader.Error();
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
