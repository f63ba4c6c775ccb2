// A seat's reporter: its row follows the trial phase by phase, at once when
// the phase changes and otherwise at most once a period; a database that
// freezes or goes away never holds up a tick, and the row appears once the
// database answers again.
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>
#include <functional>
#include <thread>

#include "data/db_experiment_store.h"
#include "data/outbox.h"
#include "data/seat_reporter.h"
#include "data/seat_status.h"
#include "db_fixture.h"
#include "kestu_version.h"
#include "support/child_process.h"
#include "support/own_cluster.h"
#include "support/test_server.h"
#include "trials/trial_session.h"

namespace kestu::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The seat's row once `done` holds for it, waiting up to `limit`; none when it never did.
std::optional<SeatRow> RowWhen(const std::string& location, const std::string& seat,
                               const std::function<bool(const SeatRow&)>& done, std::chrono::milliseconds limit)
{
    const auto until = Clock::now() + limit;
    do {
        if (auto db = ExperimentDb::Open(location, OpenMode::ReadOnly)) {
            if (auto board = db.value()->ReadSeatBoard())
                for (const SeatRow& row : board.value().Seats)
                    if (row.Seat == seat && done(row)) return row;
        }
        std::this_thread::sleep_for(20ms);
    } while (Clock::now() < until);
    return std::nullopt;
}

auto PhaseIs(const std::string& phase)
{
    return [phase](const SeatRow& row) { return row.Phase == phase; };
}

class SeatReporterFile : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        CreateDb(NewDbContent::StandardScenario);
        participant_.UserID = "ann";
        ASSERT_TRUE(OpenDb()->AddParticipant({"ann"}).ok());
    }
    std::string Folder() const { return dir_.path().toStdString(); }
    ParticipantState participant_;
};

TEST_F(SeatReporterFile, TheRowFollowsEachPhaseAtOnceAndTicksAreWrittenAtMostOnceAPeriod)
{
    DbExperimentStore store(path_, OutboxPath(Folder()));
    TrialSession session(participant_, store, Folder());
    session.decisionChoice = 1;
    // A long period: a row that changes within it was written for the change.
    SeatReporter reporter({.location = path_, .seat = "lab-07", .outboxPath = OutboxPath(Folder()), .period = 4s});
    session.observers.Add(&reporter);

    reporter.Idle("ann");
    const auto idle = RowWhen(path_, "lab-07", [](const SeatRow& r) { return r.UserID == "ann"; }, 1500ms);
    ASSERT_TRUE(idle);
    EXPECT_EQ(idle->Phase, "Idle");
    EXPECT_EQ(idle->Version, KestuVersion);

    ASSERT_TRUE(session.trial.LoadPlant());
    ASSERT_TRUE(session.trial.SetUpTrial());
    const auto setUp = RowWhen(path_, "lab-07", PhaseIs("SetUp"), 1500ms);
    ASSERT_TRUE(setUp) << "a phase change is written at once";
    EXPECT_EQ(setUp->TrialNum, 1);
    EXPECT_EQ(setUp->EndSeconds, 480);
    EXPECT_EQ(setUp->Mode, "Experiment");

    session.trial.StartOrStop();
    ASSERT_TRUE(session.Ticking());
    ASSERT_TRUE(RowWhen(path_, "lab-07", PhaseIs("Running"), 1500ms));
    std::this_thread::sleep_for(200ms);
    const long long before = reporter.tally().written;
    for (int t = 0; t < 200 && session.Ticking(); ++t) session.Tick();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(reporter.tally().written, before) << "200 ticks within a period are not written each";
    EXPECT_EQ(reporter.Latest().ClockSeconds, 200);

    while (session.Ticking()) session.Tick();
    const auto ended = RowWhen(path_, "lab-07", PhaseIs("Ended"), 1500ms);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->ClockSeconds, 480);
    EXPECT_EQ(ended->MissedBuckets, session.missed.Total);
    EXPECT_GT(ended->MissedBuckets, 0);
    EXPECT_EQ(ended->UserID, "ann");
    EXPECT_EQ(ended->OutboxWaiting, 0);
    session.CloseWindow();
    session.observers.Remove(&reporter);
    reporter.Stop();
    EXPECT_EQ(reporter.tally().failed, 0);
}

TEST_F(SeatReporterFile, ARestoredSnapshotReportsTheClockPutBack)
{
    SeatReporter reporter({.location = path_, .seat = "lab-07", .period = 4s});
    TrialEvent event;
    event.Kind = TrialEventKind::Started;
    event.Trial = {"ann", 3, SimulatorMode::Experiment};
    event.Phase = TrialPhase::Running;
    event.Clock = {5, 0};
    event.End = {8, 0};
    event.MissedTotal = 40;
    reporter.OnTrialEvent(event);
    event.Kind = TrialEventKind::SnapshotRestored;
    event.RestoredTo = {2, 30};
    event.MissedTotal = 12;
    reporter.OnTrialEvent(event);
    const SeatReport latest = reporter.Latest();
    EXPECT_EQ(latest.ClockSeconds, 150);
    EXPECT_EQ(latest.MissedBuckets, 12);
    EXPECT_EQ(latest.EndSeconds, 480);
    reporter.Stop();
    EXPECT_EQ(reporter.tally().failed, 0);
    EXPECT_GE(reporter.tally().written, 1);
    // The last report written at the stop holds the latest state.
    const auto row = RowWhen(path_, "lab-07", PhaseIs("Running"), 100ms);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->ClockSeconds, 150);
    EXPECT_EQ(row->TrialNum, 3);
}

TEST_F(SeatReporterFile, ResultsWaitingInTheOutboxAreCounted)
{
    const std::string outbox = OutboxPath(Folder());
    for (long long trial : {1, 2}) {
        const Status kept = AppendToOutbox(outbox, OutboxEntry("a-study", TrialLogCopy{"ann", trial, "lab-07", "a log",
                                                                                     "2026-12-07 10:00:00"}));
        ASSERT_TRUE(kept.ok()) << kept.error();
    }
    SeatReporter reporter({.location = path_, .seat = "lab-07", .outboxPath = outbox, .period = 100ms});
    reporter.Idle("ann");
    const auto row = RowWhen(path_, "lab-07", [](const SeatRow& r) { return r.OutboxWaiting == 2; }, 1500ms);
    EXPECT_TRUE(row) << "two entries wait";
}

// Standard error goes to a file while one lives; what was written, read back.
class CapturedStderr {
public:
    explicit CapturedStderr(std::string path) : path_(std::move(path))
    {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int file = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
    }
    ~CapturedStderr() { Restore(); }
    std::string Restore()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
        std::ifstream in(path_);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    std::string path_;
    int saved_ = -1;
};

int PortOf(const std::string& url) { return std::atoi(url.c_str() + url.rfind(':') + 1); }

std::string ViaPort(const std::string& url, int port)
{
    const auto colon = url.rfind(':');
    return url.substr(0, colon + 1) + std::to_string(port) + url.substr(url.find('/', colon));
}

// The loopback proxy in front of a server, which can freeze as a hung network does.
class Proxy {
public:
    explicit Proxy(const std::string& url) : process_({KESTU_TCP_PROXY, std::to_string(PortOf(url))})
    {
        const auto line = process_.ReadLine();
        if (line && line->rfind("port ", 0) == 0) url_ = ViaPort(url, std::atoi(line->c_str() + 5));
    }
    const std::string& url() const { return url_; }
    bool Freeze() { return process_.Ask("freeze") == "frozen"; }
    bool Thaw() { return process_.Ask("thaw") == "thawed"; }

private:
    testsupport::ChildProcess process_;
    std::string url_;
};

TEST(SeatReporterServer, AFrozenServerNeverHoldsUpATickAndTheRowAppearsOnceItAnswers)
{
    const std::string url = testsupport::NewServerDatabase();
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::StandardScenario).ok());
    ASSERT_TRUE(ExperimentDb::Open(url, OpenMode::ReadWrite).value()->AddParticipant({"kim"}).ok());
    Proxy proxy(url);
    ASSERT_FALSE(proxy.url().empty());
    ASSERT_TRUE(proxy.Freeze());

    // The trial's own store reaches the server; only the reports go through the frozen path.
    QTemporaryDir study;
    const std::string folder = study.path().toStdString();
    CapturedStderr console(folder + "/stderr");
    ParticipantState participant;
    participant.UserID = "kim";
    DbExperimentStore store(url, OutboxPath(folder));
    TrialSession session(participant, store, folder);
    session.decisionChoice = 1;
    int told = 0;
    SeatReporter reporter({.location = proxy.url(), .seat = "lab-03", .outboxPath = OutboxPath(folder),
                           .period = 200ms, .firstFailure = [&told](const std::string&) { ++told; }});
    session.observers.Add(&reporter);
    reporter.Idle("kim");

    ASSERT_TRUE(session.trial.LoadPlant());
    ASSERT_TRUE(session.trial.SetUpTrial());
    session.trial.StartOrStop();
    ASSERT_TRUE(session.Ticking());
    const auto started = Clock::now();
    std::chrono::nanoseconds longest{0};
    long long ticks = 0;
    while (session.Ticking()) {
        const auto t0 = Clock::now();
        session.Tick();
        longest = std::max(longest, Clock::now() - t0);
        // Paced so that the reporter tries, fails and tries again while the trial runs.
        if (++ticks % 60 == 0) std::this_thread::sleep_for(800ms);
    }
    const auto took = Clock::now() - started - (ticks / 60) * 800ms;
    session.CloseWindow();
    EXPECT_EQ(session.runEnd, RunEnd::AtEndTime);
    EXPECT_LT(longest, 50ms) << "a tick waited for the frozen server";
    EXPECT_LT(took, 2s) << "the ticks themselves";
    EXPECT_GE(reporter.tally().failed, 2) << "the reports were tried again";
    EXPECT_EQ(reporter.tally().written, 0);
    EXPECT_EQ(told, 1) << "a failing report is told once, then retried quietly";
    EXPECT_EQ(console.Restore(), "") << "the data layer's own words on each failed try";

    // The trial recorded as usual.
    const auto rows = ExperimentDb::Open(url, OpenMode::ReadOnly).value()->ReadExperimentRows("kim");
    ASSERT_TRUE(rows.ok()) << rows.error();
    ASSERT_EQ(rows.value().size(), 1u);
    ASSERT_TRUE(rows.value()[0].MissedBuckets.has_value());
    EXPECT_EQ(*rows.value()[0].MissedBuckets, static_cast<double>(session.missed.Total));

    // Once the path answers again, the row appears with the trial's end.
    ASSERT_TRUE(proxy.Thaw());
    const auto row = RowWhen(url, "lab-03", PhaseIs("Ended"), 8s);
    ASSERT_TRUE(row) << "the report was not tried again";
    EXPECT_EQ(row->MissedBuckets, session.missed.Total);
    EXPECT_EQ(row->UserID, "kim");
    EXPECT_EQ(row->TrialNum, 1);

    // A connection that froze under a report is given up, and a fresh one
    // carries the next report once the path answers.
    ASSERT_TRUE(proxy.Freeze());
    const long long failedBefore = reporter.tally().failed;
    for (auto until = Clock::now() + 5s; reporter.tally().failed == failedBefore && Clock::now() < until;)
        std::this_thread::sleep_for(50ms);
    ASSERT_GT(reporter.tally().failed, failedBefore);
    ASSERT_TRUE(proxy.Thaw());
    reporter.Idle("kim");
    ASSERT_TRUE(RowWhen(url, "lab-03", PhaseIs("Idle"), 8s)) << "the report was not tried again on a fresh connection";

    // A shutdown while the path is frozen again ends within its bound.
    ASSERT_TRUE(proxy.Freeze());
    std::this_thread::sleep_for(300ms);
    const auto stopping = Clock::now();
    reporter.Stop();
    EXPECT_LT(Clock::now() - stopping, 2500ms);
    session.observers.Remove(&reporter);
    testsupport::DropServerDatabase(url);
}

}  // namespace
}  // namespace kestu::testing
