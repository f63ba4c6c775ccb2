// The real window at its fastest speed, a participant clicking as fast as the
// window system delivers clicks: every trial's row agrees with the replay of
// its log (kestuctl rescore), because the window applies clicks only between
// ticks, where the log's clock stamps put them.
#include <QElapsedTimer>
#include <QTimer>

#include <random>
#include <sstream>

#include "kestuctl/command.h"
#include "queued_input.h"
#include "ui_fixture.h"

namespace kestu::uitest {
namespace {

constexpr int Trials = 20;
constexpr int FastestInterval = 125;  // milliseconds a tick, the speed bar's left end

// The standard plant with its deadlines brought forward, the last at 00:30,
// and the arrivals that come before it.
ScenarioTables ShortScenario(ScenarioTables tables)
{
    long long last = 0;
    for (const DeadlineRow& row : tables.deadline) last = std::max(last, row.At.TotalSeconds());
    for (DeadlineRow& row : tables.deadline)
        row.At = ClockTime{0, static_cast<int>(std::max(1LL, 30 * row.At.TotalSeconds() / last))};
    std::erase_if(tables.exogenous, [](const ArrivalRow& row) { return row.At > ClockTime{0, 30}; });
    return tables;
}

class ReplayFidelityTest : public SimWindowTest {
protected:
    void SetUp() override
    {
        SimWindowTest::SetUp();
        auto db = ExperimentDb::Open(dbPath_, OpenMode::ReadWrite);
        ASSERT_TRUE(db.ok()) << db.error();
        auto standard = db.value()->ReadScenario();
        ASSERT_TRUE(standard.ok()) << standard.error();
        const Status replaced = db.value()->ReplaceScenario(ShortScenario(standard.value()));
        ASSERT_TRUE(replaced.ok()) << replaced.error();
    }
};

TEST_F(ReplayFidelityTest, ClicksDuringTicksReachTheTrialBetweenTicksSoEveryRowAgreesWithItsReplay)
{
    QElapsedTimer took;
    took.start();
    ASSERT_TRUE(Open());
    W().HScroll1->setValue(FastestInterval);

    // A click queued on an enabled switch at every turn of the event loop,
    // and so also from inside the ticks' own turns.
    std::mt19937 pick(17);
    long long queued = 0;
    QTimer clicker;
    clicker.setInterval(1);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        QPushButton* button = W().Switch[std::uniform_int_distribution<int>(0, SwitchCount - 1)(pick)];
        if (!button->isEnabled()) return;
        QueueClick(button);
        ++queued;
    });
    clicker.start();
    long long records = 0;
    for (int trial = 1; trial <= Trials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(4 + trial));
        Click(W().cmdSetup);
        ASSERT_EQ(S().timerInterval, FastestInterval);
        Click(W().cmdSimulate);
        ASSERT_TRUE(W().Simulator.isActive());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !S().engine.TimerRunning(); }, 20000)) << "the trial did not end";
        ASSERT_EQ(S().runEnd, RunEnd::AtEndTime);
        ASSERT_TRUE(messages_.shown.empty()) << messages_.shown[0].text.toStdString();
        records += static_cast<long long>(LogHeaders(FilePath("ann." + std::to_string(4 + trial))).size());
    }
    clicker.stop();
    QCoreApplication::processEvents();
    window_.reset();
    std::printf("[          ] %d trials, %lld clicks queued, %lld log records, %lld ms\n", Trials, queued, records,
                static_cast<long long>(took.elapsed()));
    EXPECT_GT(records, 20 * Trials) << "the clicks reached the trials";

    EXPECT_EQ(SqlValue("SELECT COUNT(*) FROM Experiments WHERE UserID = 'ann' AND EndTime IS NOT NULL").toInt(), Trials)
        << "every trial has its results";
    std::ostringstream out, err;
    const int status = ctl::RunCommand({"rescore", dbPath_, "ann", "--all"}, out, err);
    int agreeing = 0;
    for (std::size_t at = out.str().find("): agrees\n"); at != std::string::npos; at = out.str().find("): agrees\n", at + 1))
        ++agreeing;
    EXPECT_EQ(agreeing, Trials) << out.str();
    EXPECT_EQ(status, 0) << out.str() << err.str();
}

}  // namespace
}  // namespace kestu::uitest
