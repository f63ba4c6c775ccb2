#include "session_fixture.h"

namespace kestu::testing {
namespace {

// Runs trial 5 of participant "ann" in Experiment mode, then opens a replay window.
class ReplayTest : public SessionTest {
protected:
    // Before tick n, switch clicks[n] is clicked (0: after setup, before the start).
    void RecordTrial(const std::map<int, int>& clicks, int closeAfterTicks = -1)
    {
        auto clickAt = [&](int tick) {
            if (const auto c = clicks.find(tick); c != clicks.end()) session->trial.ClickSwitch(c->second);
        };
        session->trial.SetUpTrial();
        clickAt(0);
        session->trial.StartOrStop();
        for (int tick = 1; session->engine.TimerRunning() && tick != closeAfterTicks + 1; ++tick) {
            clickAt(tick);
            session->engine.Simulate();
        }
        trialMissed = session->missed;
        session->CloseWindow();
    }
    void OpenReplay(int trial = 5)
    {
        participant.ReplayMode = true;
        OpenWindow();
        session->replay.selection = trial;
        session->replay.Load();
    }
    void Play()
    {
        session->replay.Play();
        RunToEnd();
    }
    MissedTally trialMissed;

    // The console of an ended replay: Play shown but disabled, Pause hidden,
    // Stop enabled, and none of the trial's own controls.
    void ExpectEndedConsole(RunEnd how)
    {
        const Controls& c = session->controls;
        EXPECT_EQ(session->runEnd, how);
        EXPECT_FALSE(session->engine.TimerRunning());
        EXPECT_TRUE(c.PlayVisible && !c.PlayEnabled && !c.PauseVisible && c.StopEnabled);
        EXPECT_FALSE(c.SetupVisible || c.SimulateVisible || c.DetailFBVisible);
    }
};

// A replay ends as its trial ended and leaves the participant's counter alone
// (that it writes no log and no row is the whole-trial window test's).
TEST_F(ReplayTest, ReplayEndsWithTheTrialsOwnResultsAndLeavesTheCounter)
{
    RecordTrial({{0, 14}, {1, 0}, {3, 2}, {5, 0}, {7, 15}});
    OpenReplay();
    EXPECT_FALSE(session->controls.SwitchesEnabled);
    EXPECT_TRUE(session->controls.PlayEnabled);
    participant.TrialNum = 9;  // the participant has run more trials since
    Play();
    ExpectEndedConsole(RunEnd::AtEndTime);
    EXPECT_EQ(participant.TrialNum, 9);
    EXPECT_EQ(store.savedTrialNum, 5);
    EXPECT_EQ(session->missed.PerTank, trialMissed.PerTank);
}

// A trial ending at its start stores no shares; its replay, the only record
// at the setup time but the STOP, still plays to the end time.
TEST_F(ReplayTest, ATrialEndingAtItsStartStillReplays)
{
    store.tables.deadline = {{7, 0, 0, 3}};
    RecordTrial({{0, 14}});
    ASSERT_TRUE(store.result.has_value());
    EXPECT_FALSE(store.result->BusyTime.has_value());
    EXPECT_EQ(store.result->MissedBuckets, 3);
    OpenReplay();
    EXPECT_EQ(session->engine.GetSwitchStatus(14), SwitchStatus::On);
    EXPECT_TRUE(session->controls.PlayEnabled);
    Play();
    ExpectEndedConsole(RunEnd::AtEndTime);
    EXPECT_EQ(session->missed.Total, 3);
    EXPECT_EQ(plant().ElapsedTicks, 0);
}

TEST_F(ReplayTest, StopBeforeTheEndTimeStopsAtOnceAndJudgesNothingNew)
{
    RecordTrial({{0, 14}, {4, 0}}, 4);  // window closed after four ticks, at 0:04
    OpenReplay();
    Play();
    EXPECT_EQ(plant().Clock.Seconds, 4);
    ExpectEndedConsole(RunEnd::ByStopRecord);
    EXPECT_EQ(session->missed.Total, 0);
}

TEST_F(ReplayTest, PauseStopAndAnotherTrial)
{
    RecordTrial({{0, 14}, {2, 2}});
    std::filesystem::copy_file(dir / "ann.5", dir / "ann.3");
    OpenReplay();
    session->replay.Play();
    Ticks(2);
    session->replay.Pause();
    EXPECT_FALSE(session->engine.TimerRunning());
    EXPECT_TRUE(session->controls.PlayVisible && !session->controls.PauseVisible);
    EXPECT_EQ(plant().Clock.Seconds, 2);
    session->replay.Restart();  // back to the start of the trial
    EXPECT_EQ(plant().Clock.Seconds, 0);
    EXPECT_TRUE(session->controls.PlayEnabled);
    session->replay.selection = 3;
    session->replay.Load();
    EXPECT_EQ(session->controls.TrialNumShown, 3);
    std::filesystem::remove(dir / "ann.5");  // the first log is no longer held
    Play();
    EXPECT_EQ(session->missed.Total, trialMissed.Total);
}

TEST_F(ReplayTest, LogsThatCannotBeReplayedAreReportedAndTheConsoleIdles)
{
    RecordTrial({{0, 14}});
    std::ofstream(dir / "ann.2", std::ios::binary) << "";
    std::ofstream(dir / "ann.3", std::ios::binary) << "0,0,\"ON\",3\r\ngarbage\r\n";
    OpenReplay(4);
    for (int trial : {4, 2, 3}) {
        reports.clear();
        session->replay.selection = trial;
        session->replay.Load();
        ASSERT_EQ(reports.size(), 1u) << trial;
        EXPECT_NE(reports[0].find("ann." + std::to_string(trial)), std::string::npos) << reports[0];
        EXPECT_FALSE(session->controls.PlayEnabled);
        EXPECT_FALSE(session->engine.TimerRunning());
    }
    EXPECT_NE(reports[0].find("line 2"), std::string::npos);
    session->replay.selection.reset();
    session->replay.Load();  // no selection: nothing loaded, no message
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(session->missed.Total, 0);
}

}  // namespace
}  // namespace kestu::testing
