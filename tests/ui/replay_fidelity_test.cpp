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

// Two participants' windows run side by side, so the twenty trials take half
// the time; a tick of one may then run inside a yield of the other's, and
// clicks wait for both.
TEST_F(ReplayFidelityTest, ClicksDuringTicksReachTheTrialBetweenTicksSoEveryRowAgreesWithItsReplay)
{
    QElapsedTimer took;
    took.start();
    ASSERT_TRUE(Open());
    AddParticipant("bob", "0");
    ParticipantState bob{.UserID = "bob", .TrialNum = 0};
    auto second = std::make_unique<ui::frmSimulation>(bob, dbPath_, folder_);
    ASSERT_TRUE(second->Form_Load());
    second->move(W().width() + 10, 0);
    second->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(second.get()));
    const std::pair<ui::frmSimulation*, std::string> seats[] = {{&W(), "ann"}, {second.get(), "bob"}};
    for (const auto& [window, user] : seats) window->HScroll1->setValue(FastestInterval);

    // A click queued on an enabled switch at every turn of the event loop,
    // and so also from inside the ticks' own turns.
    std::mt19937 pick(17);
    long long queued = 0;
    QTimer clicker;
    clicker.setInterval(1);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        for (const auto& [window, user] : seats) {
            QPushButton* button = window->Switch[std::uniform_int_distribution<int>(0, SwitchCount - 1)(pick)];
            if (!button->isEnabled()) continue;
            QueueClick(button);
            ++queued;
        }
    });
    clicker.start();
    long long records = 0;
    for (int round = 1; round <= Trials / 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (const auto& [window, user] : seats) {
            Click(window->cmdSetup);
            ASSERT_EQ(window->session().timerInterval, FastestInterval);
            Click(window->cmdSimulate);
            ASSERT_TRUE(window->Simulator.isActive());
        }
        for (const auto& [window, user] : seats) {
            TrialSession& session = window->session();
            ASSERT_TRUE(QTest::qWaitFor([&] { return !session.Ticking(); }, 20000)) << user;
            ASSERT_EQ(session.runEnd, RunEnd::AtEndTime) << user;
            const int trial = session.participant.TrialNum;
            records += static_cast<long long>(LogHeaders(FilePath(user + "." + std::to_string(trial))).size());
        }
        ASSERT_TRUE(messages_.shown.empty()) << messages_.shown[0].text.toStdString();
    }
    clicker.stop();
    QCoreApplication::processEvents();
    second.reset();
    window_.reset();
    std::printf("[          ] %d trials, %lld clicks queued, %lld log records, %lld ms\n", Trials, queued, records,
                static_cast<long long>(took.elapsed()));
    EXPECT_GT(records, 20 * Trials) << "the clicks reached the trials";

    EXPECT_EQ(SqlValue("SELECT COUNT(*) FROM Experiments WHERE EndTime IS NOT NULL").toInt(), Trials)
        << "every trial has its results";
    for (const auto& [window, user] : seats) {
        std::ostringstream out, err;
        const int status = ctl::RunCommand({"rescore", dbPath_, user, "--all"}, out, err);
        int agreeing = 0;
        const std::string text = out.str();
        for (std::size_t at = text.find("): agrees\n"); at != std::string::npos; at = text.find("): agrees\n", at + 1))
            ++agreeing;
        EXPECT_EQ(agreeing, Trials / 2) << text;
        EXPECT_EQ(status, 0) << text << err.str();
    }
}

}  // namespace
}  // namespace kestu::uitest
