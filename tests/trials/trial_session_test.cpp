// One window's trials, headless: Experiment and Training trials with their
// row, log and counter, failing stores and disks, snapshots, and replays.
#include <algorithm>
#include <iomanip>
#include <regex>

#include "session_fixture.h"
#include "trials/headless_trial.h"
#include "trials/log_reader.h"
#include "trials/snapshot.h"

namespace kestu::testing {
namespace {

using TrialTest = SessionTest;

// The trial's numbers are the reference trials' business, and what the
// windows show of its row and log the whole-trial window test's; here, what
// the store and the folder are given, and when.
TEST_F(TrialTest, ExperimentTrialRecordsItsRowLogAndCounter)
{
    session->trial.SetUpTrial();
    EXPECT_EQ(session->controls().TrialNumShown, 5);

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
    EXPECT_TRUE(reports.empty());

    session->trial.SetUpTrial();  // the participant's count moved on
    EXPECT_EQ(session->controls().TrialNumShown, 6);
    EXPECT_TRUE(std::filesystem::exists(dir / "ann.6"));
}

TEST_F(TrialTest, TrainingWritesNothingAndClearsTheTotalAtTheEnd)
{
    session->trial.SetUpTraining();
    EXPECT_FALSE(session->controls().TrialNumShown.has_value());
    EXPECT_EQ(session->controls().ModeShown, SimulatorMode::Training);
    EXPECT_FALSE(session->controls().FFVisible);
    session->trial.StartOrStop();
    RunToEnd();
    EXPECT_EQ(plant().Clock, (ClockTime{0, 5}));  // the earliest deadline
    EXPECT_EQ(session->missed.Total, 0);
    EXPECT_FALSE(store.started || store.result);
    EXPECT_EQ(store.saves, 0);  // a Training trial never touches the count
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    EXPECT_TRUE(session->controls().FFVisible && !session->controls().FFEnabled);  // feedforward offered: shown, disabled
}

// A setup never started leaves no log and the counter as it was; closing
// mid-trial stops the log once. The count is written once per trial, with
// the trial's row when it starts.
TEST_F(TrialTest, ClosingTheWindowBeforeOrDuringATrial)
{
    session->trial.SetUpTrial();
    session->trial.ClickSwitch(0);  // logged before the start
    session->trial.SetUpTrial();    // set up again: the same number, a fresh log
    EXPECT_EQ(session->controls().TrialNumShown, 5);
    EXPECT_TRUE(Headers(dir / "ann.5").empty());
    session->CloseWindow();
    EXPECT_FALSE(std::filesystem::exists(dir / "ann.5"));
    EXPECT_EQ(store.saves, 0);
    EXPECT_FALSE(store.savedTrialNum.has_value());
    EXPECT_FALSE(store.started.has_value());

    OpenWindow();
    StartTrial();
    Ticks(2);
    EXPECT_EQ(store.savedTrialNum, 5);  // claimed with the row
    session->CloseWindow();
    session->CloseWindow();
    EXPECT_EQ(Headers(dir / "ann.5"), std::vector<std::string>{"0,2,\"STOP\",0"});
    ASSERT_EQ(store.logs.size(), 1u);  // the log as the close left it
    EXPECT_EQ(store.logs[0].Bytes, ReadText(dir / "ann.5"));
    EXPECT_EQ(std::tuple(store.savedTrialNum, store.saves), std::tuple(5, 0));
    EXPECT_FALSE(store.result.has_value());
    EXPECT_TRUE(reports.empty());
}

// No trial runs without its log, and the log of a claimed trial is never
// written over; an empty one is what a copy killed between setup and start leaves.
TEST_F(TrialTest, NoTrialRunsWithoutALogOfItsOwn)
{
    std::ofstream(dir / "ann.5", std::ios::binary) << "kept";
    store.started = ExperimentStart{.UserID = "ann", .Experiment = 5};
    session->trial.SetUpTrial();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("ann.5"), std::string::npos);
    EXPECT_FALSE(session->controls().SimulateEnabled);
    EXPECT_TRUE(session->controls().SetupVisible);
    EXPECT_FALSE(session->controls().TrialNumShown.has_value());
    session->CloseWindow();
    EXPECT_EQ(ReadText(dir / "ann.5"), "kept");

    std::ofstream(dir / "ann.5", std::ios::trunc);
    OpenWindow();
    session->trial.SetUpTrial();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_TRUE(session->controls().SimulateEnabled);
}

// What the participant reads when the results wait in `file`.
std::string KeptMessage(const std::string& file)
{
    return "The study's server cannot be reached, so this trial's results are kept on this computer, in " + file +
           ", and are delivered at the next start of Kestu or by kestuctl sync.";
}

// The files of the folder whose names start with `prefix`.
std::vector<std::string> FilesStartingWith(const std::filesystem::path& dir, const std::string& prefix)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The Random method clicks while the trial is set up, so a copy stopped
// between its setup and its start leaves a log under a number it never
// claimed. The next setup moves it aside, says so, and goes on; a log whose
// trial was claimed, or one whose claim cannot be looked up, still stops it.
TEST_F(TrialTest, ALogLeftByASetupThatNeverStartedIsMovedAsideAndTheTrialGoesOn)
{
    session->decisionChoice = 1;
    ASSERT_TRUE(session->trial.SetUpTrial());
    session.reset();  // the process dies here: no close, no discard
    const std::string left = ReadText(dir / "ann.5");
    ASSERT_EQ(Headers(dir / "ann.5").size(), 3u);

    store.failClaimedQuery = "server gone";
    OpenWindow();
    EXPECT_FALSE(session->trial.SetUpTrial());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("server gone"), std::string::npos) << reports[0];
    EXPECT_EQ(ReadText(dir / "ann.5"), left);
    session.reset();

    store.failClaimedQuery.clear();
    reports.clear();
    OpenWindow();
    ASSERT_TRUE(session->trial.SetUpTrial());
    const auto aside = FilesStartingWith(dir, "ann.5.");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(std::regex_match(aside[0], std::regex(R"(ann\.5\.unclaimed-20[0-9]{6}T[0-9]{6}Z)"))) << aside[0];
    EXPECT_EQ(ReadText(dir / aside[0]), left) << "the old log is kept as it was";
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "The trial log " + (dir / "ann.5").string() +
                              " is from a setup of trial 5 that never started; it has been moved aside as " +
                              (dir / aside[0]).string() + " and the trial is set up afresh.");
    EXPECT_EQ(reports.size(), 1u) << "nothing else to report";
    session->trial.StartOrStop();
    RunToEnd();
    EXPECT_EQ(store.started->Experiment, 5);
    EXPECT_TRUE(store.result.has_value());
    session->CloseWindow();

    // The log of trial 5, which ran, stops the next copy that would set up trial 5.
    participant.TrialNum = 4;
    notices.clear();
    reports.clear();
    const std::string ran = ReadText(dir / "ann.5");
    OpenWindow();
    EXPECT_FALSE(session->trial.SetUpTrial());
    EXPECT_TRUE(notices.empty());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("cannot be created"), std::string::npos) << reports[0];
    EXPECT_EQ(ReadText(dir / "ann.5"), ran);
    EXPECT_EQ(FilesStartingWith(dir, "ann.5.").size(), 1u);
}

// Headless runs (kestuctl run-trial) go through the same setup: the notice is
// among their messages and the trial still completes.
TEST_F(TrialTest, AHeadlessRunSetsAsideALogThatNoTrialClaimed)
{
    std::ofstream(dir / "ann.5", std::ios::binary) << "0,0,\"ON\",0\r\n";
    session.reset();
    const ParticipantTrial run = RunParticipantTrial(participant, store, dir.string(), 3);
    EXPECT_TRUE(run.completed);
    EXPECT_EQ(run.trialNum, 5);
    ASSERT_EQ(FaultSentences(run.faults).size(), 1u);
    EXPECT_NE(FaultSentences(run.faults)[0].find("moved aside as"), std::string::npos) << FaultSentences(run.faults)[0];
    EXPECT_EQ(FilesStartingWith(dir, "ann.5.").size(), 1u);

    // What kestuctl run-trial prints when the results are kept, or kept nowhere.
    store.failComplete = "FATAL:  the database system is shutting down";
    store.keptIn = (dir / "KESTU.OUTBOX").string();
    ParticipantTrial kept = RunParticipantTrial(participant, store, dir.string(), 4);
    EXPECT_FALSE(kept.completed);
    EXPECT_EQ(FaultSentences(kept.faults), std::vector<std::string>{KeptMessage((dir / "KESTU.OUTBOX").string())});
    store.keptIn.reset();
    ParticipantTrial lost = RunParticipantTrial(participant, store, dir.string(), 5);
    EXPECT_FALSE(lost.completed);
    ASSERT_EQ(FaultSentences(lost.faults).size(), 1u);
    EXPECT_EQ(FaultSentences(lost.faults)[0].rfind("This trial's results could not be recorded. Please write them down", 0), 0u)
        << FaultSentences(lost.faults)[0];
    EXPECT_NE(FaultSentences(lost.faults)[0].find("\nUser ID: ann\nTrial: 7\n"), std::string::npos) << FaultSentences(lost.faults)[0];
}

// The Random method clicks at setup (the reference trials replay those clicks
// from its logs); nobody else may click.
TEST_F(TrialTest, RandomMethodClicksAtSetupAndLocksTheSwitches)
{
    session->decisionChoice = 1;
    session->trial.SetUpTrial();
    EXPECT_FALSE(session->controls().SwitchesEnabled);
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
    EXPECT_FALSE(session->Ticking());
    EXPECT_TRUE(session->controls().SetupVisible);
    EXPECT_FALSE(std::filesystem::exists(dir / "ann.5"));
    EXPECT_EQ(session->participant.TrialNum, 4);

    store.failAdd.clear();
    store.failSave.clear();
    store.failComplete = "row gone";
    StartTrial();
    EXPECT_EQ(session->controls().TrialNumShown, 5);
    store.failSave = "file gone";
    RunToEnd();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_FALSE(session->Ticking());
    EXPECT_EQ(Headers(dir / "ann.5").back(), "0,12,\"STOP\",0");
}

// A trial's row carries the time its last deadline was judged, however long
// the participant takes over a message shown while its results are stored.
TEST_F(TrialTest, TheEndTimeIsWhenTheTrialEndedNotWhenItsMessageWasRead)
{
    std::string clock = "10:11:12";
    session->host.now = [&clock] { return WallClock{"2026-12-06", clock}; };
    CallbackObserver reader([&](const TrialEvent& event) {
        if (event.Kind == TrialEventKind::Fault) clock = "10:11:27";  // the participant reads for fifteen seconds
    });
    session->observers.Add(&reader);
    store.failLog = "connection lost";
    StartTrial();
    RunToEnd();
    ASSERT_TRUE(store.result.has_value());
    EXPECT_EQ(store.result->EndTime, "10:11:12");
    EXPECT_EQ(reports.size(), 1u);
}

// Results the database could not take: kept on this computer, the
// participant reads where in one plain sentence and the database's own text
// goes to standard error; kept nowhere, they are shown to be written down.
TEST_F(TrialTest, ResultsTheDatabaseCouldNotTakeAreSaidToBeKeptOrShownToBeWrittenDown)
{
    const std::string serverText =
        "FATAL:  terminating connection due to administrator command\n\tserver closed the connection (57P01)";
    store.failLog = store.failComplete = store.failSave = serverText;
    store.keptIn = "/lab/study/KESTU.OUTBOX";
    StartTrial();
    RunToEnd();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], KeptMessage("/lab/study/KESTU.OUTBOX"));
    ASSERT_EQ(details.size(), 1u);
    EXPECT_NE(details[0].find("57P01"), std::string::npos) << details[0];
    session->CloseWindow();
    EXPECT_EQ(reports.size(), 1u) << "the counter's failed save adds nothing";

    // The same failure with nowhere to keep them.
    store.failLog.clear();
    store.keptIn.reset();
    store.failSave.clear();
    reports.clear();
    details.clear();
    OpenWindow();
    StartTrial();
    session->trial.ClickSwitch(0);
    RunToEnd();
    const PlantState& p = plant();
    const auto shares = ComputeShares(p.ElapsedTicks, p.BusyPumpTicks, p.SweepPumpTicks);
    ASSERT_TRUE(shares.has_value());
    auto text = [](double share) {
        std::ostringstream out;
        out.imbue(std::locale::classic());
        out << std::setprecision(15) << share;
        return out.str();
    };
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "This trial's results could not be recorded. Please write them down and give them to "
                          "the experimenter:\nUser ID: ann\nTrial: 6\nEnd time: 10:11:12\nMissed buckets: " +
                              std::to_string(session->missed.Total) + "\nBusy time: " + text(shares->BusyTime) +
                              "\nSweep time: " + text(shares->SweepTime) + "\nIdle time: " + text(shares->IdleTime));
    EXPECT_GT(shares->BusyTime, 0) << "a pump ran, so every share line is a real figure";
    EXPECT_EQ(reports[0].find("FATAL"), std::string::npos);
    ASSERT_EQ(details.size(), 1u);
    EXPECT_EQ(details[0], serverText);

    // A window closed mid-trial: its log is what waits on this computer.
    store.failComplete.clear();
    store.failLog = serverText;
    store.keptIn = "/lab/study/KESTU.OUTBOX";
    reports.clear();
    details.clear();
    OpenWindow();
    StartTrial();
    Ticks(3);
    session->CloseWindow();
    EXPECT_EQ(reports, std::vector<std::string>{KeptMessage("/lab/study/KESTU.OUTBOX")});
    EXPECT_EQ(details, std::vector<std::string>{serverText});
}

// The window's load reads the scenario for its plant and its first setup;
// every later setup reads it once more, so a mended scenario is taken up.
TEST_F(TrialTest, TheScenarioIsReadOncePerSetup)
{
    store.reads = 0;
    OpenWindow();
    StartTrial();
    EXPECT_EQ(store.reads, 1);
    RunToEnd();
    session->trial.SetUpTrial();
    EXPECT_EQ(store.reads, 2);
    store.tables.deadline = {{24, 0, 5, 3}};
    EXPECT_FALSE(session->trial.SetUpTrial());
    EXPECT_EQ(store.reads, 3);
}

TEST_F(TrialTest, BadScenarioIsReportedAndNothingIsSetUp)
{
    store.tables.deadline = {{24, 0, 5, 3}};
    OpenWindow();  // the window reads the scenario as it loads
    session->trial.SetUpTrial();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("TankNum"), std::string::npos);
    EXPECT_FALSE(session->controls().SimulateEnabled);
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
    EXPECT_FALSE(session->Ticking() || session->controls().SwitchesEnabled);
    EXPECT_TRUE(store.started && !store.result);  // the row keeps empty results
    EXPECT_EQ(store.savedTrialNum, 5);             // the trial still counts
    TrialLogReader reader;
    const Status opened = reader.Open((dir / "ann.5").string());
    ASSERT_TRUE(opened) << opened.error();
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
    EXPECT_FALSE(session->Ticking());
}

// The reference trials save and restore ordinary plants; these are the
// snapshot cases they may not reach.
TEST_F(TrialTest, WaitingSwitchIsShownQueuedAfterTheRestore)
{
    store.tables.exogenous[0].Water = {};
    for (int t = 0; t < 6; ++t) store.tables.exogenous[0].Water[t] = 20;
    OpenWindow();
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

TEST_F(TrialTest, RestoreNeverStartsAStoppedTimerAndSetupEndsAPendingSnapshot)
{
    int restarts = 0;
    session->host.restartTimer = [&] { ++restarts; };
    session->trial.SetUpTrial();
    session->snapshots.SaveOrRestore();
    session->snapshots.SaveOrRestore();
    EXPECT_FALSE(session->Ticking());
    EXPECT_EQ(restarts, 0);
    session->trial.StartOrStop();
    session->snapshots.SaveOrRestore();
    Ticks(2);
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(session->Ticking());
    session->snapshots.SaveOrRestore();
    RunToEnd();
    session->trial.SetUpTrial();
    EXPECT_FALSE(session->controls().SnapshotPending);
}

// A restore takes only the snapshot this trial saved: another trial's, or
// none, is reported, the plant goes on and nothing is logged. A save
// that cannot write its file holds no snapshot and is not logged either.
TEST_F(TrialTest, ARestoreRefusesAnyFileButTheOneThisTrialSavedAndAFailedSaveHoldsNone)
{
    StartTrial();
    Ticks(3);
    session->snapshots.SaveOrRestore();
    const std::string ours = ReadText(dir / "ann.DAT");
    Ticks(4);
    std::string foreign = ours;
    foreign.replace(0, foreign.find(','), "1");
    std::ofstream(dir / "ann.DAT", std::ios::binary | std::ios::trunc) << foreign;
    session->snapshots.SaveOrRestore();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("not the one this trial saved"), std::string::npos) << reports[0];
    std::filesystem::remove(dir / "ann.DAT");
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(plant().Clock.Seconds, 7);
    EXPECT_TRUE(session->controls().SnapshotPending);
    EXPECT_EQ(Headers(dir / "ann.5").back(), "0,3,\"FF\",0");

    std::ofstream(dir / "ann.DAT", std::ios::binary) << ours;
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(plant().Clock.Seconds, 3);

    std::filesystem::remove(dir / "ann.DAT");
    std::filesystem::create_directories(dir / "ann.DAT");  // a folder where the snapshot should go
    session->snapshots.SaveOrRestore();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[2].find("ann.DAT"), std::string::npos);
    EXPECT_FALSE(session->controls().SnapshotPending);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "ann.DAT"));
    EXPECT_EQ(Headers(dir / "ann.5").back(), "0,7,\"FFR\",0");
}

// A plant whose arrivals have run out, with a negative total and a promised
// pump, reads back as it was written; half a file is refused.
TEST(SnapshotText, ArrivalsRunOutAndRoundTrip)
{
    PlantState plant;
    plant.Tanks[3].Water = 1.0 / 3;
    plant.PumpState[5] = -2;
    plant.PumpHandover[5] = 9;
    const std::string text = SnapshotText(TakeSnapshot(plant, std::nullopt, -4));
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
        for (int tick = 1; session->Ticking() && tick != closeAfterTicks + 1; ++tick) {
            clickAt(tick);
            session->Tick();
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
    // Stop enabled, none of the trial's own controls, and the per-tank
    // figures offered when it reached its end time, as the trial did.
    void ExpectEndedConsole(RunEnd how)
    {
        const Controls c = session->controls();
        EXPECT_EQ(session->runEnd, how);
        EXPECT_FALSE(session->Ticking());
        EXPECT_TRUE(c.PlayVisible && !c.PlayEnabled && !c.PauseVisible && c.StopEnabled);
        EXPECT_FALSE(c.SetupVisible || c.SimulateVisible);
        EXPECT_EQ(c.DetailFBVisible, how == RunEnd::AtEndTime);
    }
};

// A replay ends as its trial ended and leaves the participant's counter alone
// (that it writes no log and no row is the whole-trial window test's).
TEST_F(ReplayTest, ReplayEndsWithTheTrialsOwnResultsAndLeavesTheCounter)
{
    RecordTrial({{0, 14}, {1, 0}, {3, 2}, {5, 0}, {7, 15}});
    OpenReplay();
    EXPECT_TRUE(session->controls().PlayEnabled);
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
    OpenWindow();
    RecordTrial({{0, 14}});
    ASSERT_TRUE(store.result.has_value());
    EXPECT_FALSE(store.result->BusyTime.has_value());
    EXPECT_EQ(store.result->MissedBuckets, 3);
    OpenReplay();
    EXPECT_EQ(session->engine.GetSwitchStatus(14), SwitchStatus::On);
    EXPECT_TRUE(session->controls().PlayEnabled);
    Play();
    ExpectEndedConsole(RunEnd::AtEndTime);
    EXPECT_EQ(session->missed.Total, 3);
    EXPECT_EQ(plant().ElapsedTicks, 0);
}

// Pause, back to the start, another trial; a trial closed before its end time
// replays to its STOP and judges nothing new.
TEST_F(ReplayTest, PauseRestartAnotherTrialAndAStopBeforeTheEndTime)
{
    RecordTrial({{0, 14}, {2, 2}}, 4);  // window closed after four ticks, at 0:04
    std::filesystem::copy_file(dir / "ann.5", dir / "ann.3");
    OpenReplay();
    session->replay.Play();
    Ticks(2);
    session->replay.Pause();
    EXPECT_FALSE(session->Ticking());
    EXPECT_TRUE(session->controls().PlayVisible && !session->controls().PauseVisible);
    EXPECT_EQ(plant().Clock.Seconds, 2);
    session->replay.Restart();
    EXPECT_EQ(plant().Clock.Seconds, 0);
    EXPECT_TRUE(session->controls().PlayEnabled);
    session->replay.selection = 3;
    session->replay.Load();
    EXPECT_EQ(session->controls().TrialNumShown, 3);
    std::filesystem::remove(dir / "ann.5");  // the first log is no longer held
    Play();
    EXPECT_EQ(plant().Clock.Seconds, 4);
    ExpectEndedConsole(RunEnd::ByStopRecord);
    EXPECT_EQ(session->missed.Total, 0);
}

TEST_F(ReplayTest, LogsThatCannotBeReplayedAreReportedAndTheConsoleIdles)
{
    RecordTrial({{0, 14}});
    std::ofstream(dir / "ann.3", std::ios::binary) << "0,0,\"ON\",3\r\ngarbage\r\n";
    OpenReplay(4);
    for (int trial : {4, 3}) {
        reports.clear();
        session->replay.selection = trial;
        session->replay.Load();
        ASSERT_EQ(reports.size(), 1u) << trial;
        EXPECT_NE(reports[0].find("ann." + std::to_string(trial)), std::string::npos) << reports[0];
        EXPECT_FALSE(session->controls().PlayEnabled);
        EXPECT_FALSE(session->Ticking());
    }
    EXPECT_NE(reports[0].find("line 2"), std::string::npos);
    session->replay.selection.reset();
    session->replay.Load();  // no selection: nothing loaded, no message
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(session->missed.Total, 0);
}

}  // namespace
}  // namespace kestu::testing
