// A trial on a failing disk: the log keeps every whole record written before
// the fault, the trial stops with one message, and its row never claims
// results that its log cannot show.
#include <fcntl.h>

#include "failing_sink.h"
#include "session_fixture.h"
#include "trials/log_reader.h"

namespace kestu::testing {
namespace {

using TrialFaultTest = SessionTest;

TEST_F(TrialFaultTest, AFailedLogWriteStopsTheTrialAndKeepsEveryWholeRecord)
{
    // Records 1 and 2 are written, the third fails halfway.
    session->log.wrapSink = FailOnWrite(3);
    session->trial.SetUpTrial();
    session->trial.StartOrStop();
    session->trial.ClickSwitch(0);
    session->engine.Simulate();
    session->trial.ClickSwitch(2);
    EXPECT_TRUE(reports.empty());
    session->engine.Simulate();
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

TEST_F(TrialFaultTest, ALogThatCannotBeSyncedAtTheEndLeavesTheRowWithoutResults)
{
    session->log.wrapSink = FailOnWrite(0, /*failSync=*/true);
    session->trial.SetUpTrial();
    session->trial.StartOrStop();
    RunToEnd();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("cannot be written"), std::string::npos);
    EXPECT_FALSE(store.result.has_value());
    EXPECT_FALSE(session->engine.TimerRunning());
}

TEST_F(TrialFaultTest, AFullDeviceStopsTheTrialAtItsFirstRecord)
{
    // The real write path, against the kernel's own full disk.
    session->log.wrapSink = [](std::unique_ptr<FileSink>) -> std::unique_ptr<FileSink> {
        return std::make_unique<FdSink>(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    };
    session->trial.SetUpTrial();
    session->trial.StartOrStop();
    session->trial.ClickSwitch(0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("No space left on device"), std::string::npos) << reports[0];
    EXPECT_FALSE(session->engine.TimerRunning());
    EXPECT_FALSE(store.result.has_value());
}

TEST_F(TrialFaultTest, AFailedSnapshotSaveHoldsNoSnapshotAndRemovesNothing)
{
    std::filesystem::create_directories(dir / "ann.DAT");  // a folder where the snapshot should go
    session->trial.SetUpTrial();
    session->trial.StartOrStop();
    session->snapshots.SaveOrRestore();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("ann.DAT"), std::string::npos);
    EXPECT_FALSE(session->controls.SnapshotPending);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "ann.DAT"));
    EXPECT_TRUE(Headers(dir / "ann.5").empty());  // a save that failed is not logged
    std::filesystem::remove(dir / "ann.DAT");

    // A sink failing mid-file leaves the earlier snapshot in place, unused.
    session->snapshots.SaveOrRestore();
    ASSERT_TRUE(session->controls.SnapshotPending);
    session->snapshots.SaveOrRestore();  // restore
    const std::string saved = ReadText(dir / "ann.DAT");
    session->snapshots.sinkWrap = FailOnWrite(1);
    session->engine.Simulate();
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_FALSE(session->controls.SnapshotPending);
    EXPECT_EQ(ReadText(dir / "ann.DAT"), saved);
    std::size_t leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        leftovers += entry.path().filename().string().rfind("ann.DAT.", 0) == 0;
    EXPECT_EQ(leftovers, 0u);  // no temporary file is left behind
}

TEST_F(TrialFaultTest, ARestoreTakesOnlyTheSnapshotThisTrialSaved)
{
    session->trial.SetUpTrial();
    session->trial.StartOrStop();
    for (int k = 0; k < 3; ++k) session->engine.Simulate();
    session->snapshots.SaveOrRestore();
    const std::string ours = ReadText(dir / "ann.DAT");
    for (int k = 0; k < 4; ++k) session->engine.Simulate();

    // Another trial's snapshot put in its place is refused; the plant goes on.
    std::string foreign = ours;
    foreign.replace(0, foreign.find(','), "1");
    std::ofstream(dir / "ann.DAT", std::ios::binary) << foreign;
    session->snapshots.SaveOrRestore();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("not the one this trial saved"), std::string::npos);
    EXPECT_EQ(plant().Clock.Seconds, 7);

    std::ofstream(dir / "ann.DAT", std::ios::binary | std::ios::trunc) << ours;
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(plant().Clock.Seconds, 3);
}

}  // namespace
}  // namespace kestu::testing
