// run-trial as a seat of the lab: it leaves its row in "SeatStatus" (under
// this computer's name or --seat), none with --no-report, and --speed ticks
// in real time and records that speed.
#include <chrono>
#include <thread>

#include "ctl_fixture.h"
#include "data/seat_status.h"
#include "kestu_version.h"
#include "support/child_process.h"
#include "trials/session_state.h"

namespace kestu::ctl::testing {
namespace {

using namespace std::chrono_literals;

class SeatReportTest : public CtlTest {
protected:
    SeatBoard Board()
    {
        auto db = ExperimentDb::Open(db_, OpenMode::ReadOnly);
        EXPECT_TRUE(db.ok()) << db.error();
        auto board = db.value()->ReadSeatBoard();
        EXPECT_TRUE(board.ok()) << board.error();
        return board.ok() ? board.value() : SeatBoard{};
    }
    double MissedInRow(const std::string& user, int trial)
    {
        auto rows = ExperimentDb::Open(db_, OpenMode::ReadOnly).value()->ReadExperimentRows(user);
        EXPECT_TRUE(rows.ok()) << rows.error();
        for (const ExperimentRow& row : rows.value())
            if (row.Experiment == trial && row.MissedBuckets) return *row.MissedBuckets;
        ADD_FAILURE() << "no results for trial " << trial << " of " << user;
        return -1;
    }
};

TEST_F(SeatReportTest, ATrialLeavesItsSeatsRowEndedWithTheTrialsMissedTotal)
{
    Ok({"run-trial", db_, "kim", "--seed", "5", "--seat", "lab-11"});
    Ok({"run-trial", db_, "kim", "--seed", "6", "--seat", "lab-11"});
    Ok({"run-trial", db_, "lee", "--seed", "7"});
    const SeatBoard board = Board();
    ASSERT_EQ(board.Seats.size(), 2u);
    const SeatRow* named = nullptr;
    const SeatRow* host = nullptr;
    for (const SeatRow& row : board.Seats) (row.Seat == "lab-11" ? named : host) = &row;
    ASSERT_NE(named, nullptr);
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->Seat, ThisComputer());
    EXPECT_EQ(host->UserID, "lee");
    EXPECT_EQ(host->MissedBuckets, MissedInRow("lee", 1));

    EXPECT_EQ(named->UserID, "kim");
    EXPECT_EQ(named->TrialNum, 2);
    EXPECT_EQ(named->Mode, "Experiment");
    EXPECT_EQ(named->Phase, "Ended");
    EXPECT_EQ(named->ClockSeconds, 480);
    EXPECT_EQ(named->EndSeconds, 480);
    EXPECT_EQ(named->MissedBuckets, MissedInRow("kim", 2));
    EXPECT_EQ(named->OutboxWaiting, 0);
    EXPECT_EQ(named->Version, KestuVersion);
    EXPECT_NEAR(named->ReportedAt, board.Now, 30);
}

TEST_F(SeatReportTest, NoReportLeavesTheTableAloneAndBadOptionsAreUsageErrors)
{
    Ok({"run-trial", db_, "kim", "--seed", "5", "--no-report"});
    EXPECT_TRUE(Board().Seats.empty());
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--speed", "124"}, {"--speed", "3751"}, {"--speed", "fast"}, {"--speed", ""},
          {"--seat", ""}, {"--seat", std::string(201, 's')}}) {
        std::vector<std::string> args{"run-trial", db_, "kim"};
        args.insert(args.end(), bad.begin(), bad.end());
        const CommandResult result = Run(args);
        EXPECT_EQ(result.status, ExitUsage) << bad[0] << " " << bad[1];
        EXPECT_NE(result.err.find(bad[0]), std::string::npos) << result.err;
    }
    EXPECT_TRUE(Board().Seats.empty());
}

TEST_F(SeatReportTest, SpeedTicksInRealTimeAndIsRecordedAsTheWindowRecordsIt)
{
    Ok({"run-trial", db_, "fast", "--seed", "5"});
    testsupport::ChildProcess seat({KESTUCTL_PROGRAM, "run-trial", db_, "kim", "--seed", "5", "--seat", "lab-12",
                                    "--speed", "125"});
    ASSERT_TRUE(seat.started());
    // 2 s at 125 ms a tick: about 16 ticks, however fast the computer is.
    std::this_thread::sleep_for(2s);
    SeatRow row;
    for (const SeatRow& r : Board().Seats)
        if (r.Seat == "lab-12") row = r;
    EXPECT_EQ(row.Phase, "Running");
    EXPECT_GE(row.ClockSeconds, 8);
    EXPECT_LE(row.ClockSeconds, 20);
    seat.Kill();
    const std::string rates = testsupport::RawSqlValue(db_, "SELECT group_concat(\"SimRate\", ',') FROM "
                                                             "(SELECT \"SimRate\" FROM \"Experiments\" ORDER BY \"UserID\")")
                                  .toString()
                                  .toStdString();
    // fast: the window's default speed, as run-trial always recorded it;
    // kim: 125 ms a tick, the "1 Minute Simulation".
    EXPECT_EQ(rates, "15.0,1.0");
}

}  // namespace
}  // namespace kestu::ctl::testing
