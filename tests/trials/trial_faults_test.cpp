// A trial on a failing disk: the log keeps every whole record written before
// the fault, the trial stops with one message, and its row never claims
// results that its log cannot show.
#include <fcntl.h>

#include "session_fixture.h"
#include "trials/log_reader.h"

namespace kestu::testing {
namespace {

using TrialFaultTest = SessionTest;

TEST_F(TrialFaultTest, AFailedLogWriteStopsTheTrialAndKeepsEveryWholeRecord)
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

// A log that cannot be synced at the end, and the kernel's own full disk
// under the real write path at the first record.
TEST_F(TrialFaultTest, AnUnwritableLogLeavesTheRowWithoutResults)
{
    const std::pair<SinkWrapper, std::string> faults[] = {
        {FailOnWrite(0, /*failSync=*/true), "cannot be written"},
        {[](std::unique_ptr<FileSink>) -> std::unique_ptr<FileSink> {
             return std::make_unique<FdSink>(::open("/dev/full", O_WRONLY | O_CLOEXEC));
         },
         "No space left on device"}};
    for (const auto& [wrap, message] : faults) {
        SCOPED_TRACE(message);
        std::filesystem::remove(dir / "ann.5");
        reports.clear();
        participant.TrialNum = 4;
        store.savedTrialNum.reset();
        OpenWindow();
        session->log.wrapSink = wrap;
        StartTrial();
        session->trial.ClickSwitch(0);
        RunToEnd();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find(message), std::string::npos) << reports[0];
        EXPECT_FALSE(store.result.has_value());
        EXPECT_FALSE(session->engine.TimerRunning());
    }
}

TEST_F(TrialFaultTest, AFailedSnapshotSaveHoldsNoSnapshotAndRemovesNothing)
{
    std::filesystem::create_directories(dir / "ann.DAT");  // a folder where the snapshot should go
    StartTrial();
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
    Ticks(1);
    session->snapshots.SaveOrRestore();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_FALSE(session->controls.SnapshotPending);
    EXPECT_EQ(ReadText(dir / "ann.DAT"), saved);
    std::size_t leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        leftovers += entry.path().filename().string().rfind("ann.DAT.", 0) == 0;
    EXPECT_EQ(leftovers, 0u);  // no temporary file is left behind
}

}  // namespace
}  // namespace kestu::testing
