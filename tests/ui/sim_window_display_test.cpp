// What the simulation window shows while a trial is set up and runs: the
// session's controls, the engine's drawing calls, the background colours, the
// window's own display operations, and the options dialog mirrored into it.
#include <QApplication>

#include "ui_fixture.h"
#include "ui/frm_sim_options.h"

namespace kestu::uitest {
namespace {

class SimTrialTest : public SimWindowTest {
protected:
    void SetUp() override
    {
        SimWindowTest::SetUp();
        AddParticipant("ann", "4");
        participant_ = {.UserID = "ann", .TrialNum = 4};
    }
};

QColor Back(const QWidget* w) { return w->palette().color(QPalette::Window); }

TEST_F(SimTrialTest, SetupShowsTheTrialAboutToRunAndSwitchClicksShowInLampsPipesAndCounter)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(!Shown(W().cmdSetup) && W().cmdSimulate->isEnabled());
    // Deadline labels in the order of their tanks: 21, 22, 17, 18, 7, 8, 19, 20, 11, 12, 13, 14.
    EXPECT_EQ(Texts({W().TrialNum, W().SimTime, W().TankDL[0], W().TankDL[1], W().TankDL[8]}),
              QStringList({"5", "00:00", "07:00", "08:00", "02:00"}));
    // Tank 0 starts with 50 buckets: 25 twips of water, blue surface.
    const ui::TankGauge& tank0 = W().plantModel().Tank(0);
    EXPECT_EQ(std::tuple(tank0.fillVisible, tank0.height, tank0.lineColour), std::tuple(true, 25, ui::SurfaceColour::Blue));

    const auto& segments = W().plantModel().layout().Segments();
    auto flowing = [&](int tank) {
        int n = 0;
        for (std::size_t i = 0; i < segments.size(); ++i) n += W().plantModel().SegmentVisible(i) && segments[i].region == tank;
        return n;
    };
    Click(W().Switch[0]);
    EXPECT_EQ(W().plantModel().Lamp(0), SwitchStatus::On);
    EXPECT_GT(flowing(0), 0);
    EXPECT_EQ(W().plantModel().VisibleSegmentCount(), flowing(0)) << "only the pumped tank's pipe";
    EXPECT_EQ(W().PumpsInUse->text(), "1");
    const QColor fewPumps = Back(W().PumpsInUse);
    for (int s : {2, 4, 6, 8}) Click(W().Switch[s]);
    EXPECT_EQ(W().PumpsInUse->text(), "5");
    EXPECT_NE(Back(W().PumpsInUse), fewPumps) << "five pumps in use change the counter's colour";
    Click(W().Switch[0]);  // off again: the pump goes to cleaning
    EXPECT_EQ(W().plantModel().Lamp(0), SwitchStatus::Clean);
    EXPECT_EQ(flowing(0), 0);
    Click(W().Switch[10]);  // promised the pump that is cleaning
    EXPECT_EQ(W().plantModel().Lamp(10), SwitchStatus::Queued);
}

// The partner window refused while a trial runs, a tick with a click during
// it, and closing the window: the log ends with STOP at the time reached.
TEST_F(SimTrialTest, ARunningTrialRefusesThePartnerWindowHandlesClicksDuringATickAndStopsOnClose)
{
    StartTrial();
    EXPECT_TRUE(W().Simulator.isActive());
    EXPECT_FALSE(Shown(W().cmdSimulate) || Shown(W().cmdSetup) || W().cmdTeamMode->isEnabled());
    W().cmdTeamMode_Click();
    EXPECT_TRUE(W().PartnerWindow.isNull());
    ExpectOneMessageWith({"The partner window cannot be opened while a trial runs."});
    EXPECT_EQ(S().plant().Clock, ClockTime{}) << "the running plant is untouched";
    EXPECT_TRUE(W().Simulator.isActive());

    // During the tick's yields a click is handled, but a timer event starts no second tick.
    auto windowYield = S().host.yield;
    bool fired = false;
    S().host.yield = [&](YieldPoint point) {
        if (!std::exchange(fired, true)) W().Simulator_Timer();  // as if the timer fired while events are processed
        if (point == YieldPoint::AfterArrival) QTest::mouseClick(W().Switch[2], Qt::LeftButton);
        windowYield(point);
    };
    W().Simulator_Timer();
    EXPECT_TRUE(fired);
    EXPECT_EQ(W().SimTime->text(), "00:01");
    EXPECT_EQ(S().plant().ElapsedTicks, 1);
    EXPECT_EQ(W().plantModel().Lamp(2), SwitchStatus::On);
    S().host.yield = windowYield;
    for (int i = 0; i < 4; ++i) W().Simulator_Timer();
    W().close();
    EXPECT_FALSE(W().Simulator.isActive());
    EXPECT_EQ(LogHeaders(FilePath("ann.5")).back(), "0,5,\"STOP\",0");
    EXPECT_EQ(SqlValue("SELECT TrialNum FROM UserData WHERE UserID = 'ann'").toString(), "5");
}

// A held snapshot, or any colour type but 0, paints the window's background set
// in one colour other than the face colour; the counters keep their own.
TEST_F(SimTrialTest, TheBackgroundShowsAHeldSnapshotOnTheWholeSetAndSparesTheCounters)
{
    participant_.FeedforwardOn = true;
    StartTrial();
    const QList<QWidget*> set = W().BackgroundSet();
    // The set: the window and every caption, figure and frame but the counters,
    // the figures drawn over the tanks and the decision console.
    QList<QWidget*> ownColours = {W().TotalMissedBuckets, W().PumpsInUse, W().DecisionConsole};
    for (QLabel* label : W().MissedFB) ownColours.push_back(label);
    EXPECT_TRUE(set.contains(&W()));
    for (QWidget* w : W().findChildren<QWidget*>())
        if (qobject_cast<QLabel*>(w) || qobject_cast<QGroupBox*>(w)) EXPECT_NE(set.contains(w), ownColours.contains(w)) << Name(w);
    const QColor face = QApplication::palette().color(QPalette::Button);
    const QColor missedBack = Back(W().TotalMissedBuckets), pumpsBack = Back(W().PumpsInUse);
    auto expectBackground = [&](const QColor& colour, const char* step) {
        for (QWidget* w : set) EXPECT_TRUE(Back(w) == colour && w->autoFillBackground()) << step << ": " << Name(w);
        EXPECT_TRUE(Back(W().TotalMissedBuckets) == missedBack && Back(W().PumpsInUse) == pumpsBack) << step;
    };
    expectBackground(face, "trial running");
    W().Simulator_Timer();
    Click(W().FFButton);
    EXPECT_EQ(W().FFButton->text(), "&Restore FF");
    const QColor held = Back(&W());
    EXPECT_NE(held, face);
    expectBackground(held, "snapshot held");
    for (int i = 0; i < 3; ++i) W().Simulator_Timer();
    Click(W().FFButton);
    expectBackground(face, "snapshot restored");
    EXPECT_EQ(W().SimTime->text(), "00:01") << "back at the snapshot's time";
    W().SimBackground(7);
    expectBackground(held, "colour type 7");
}

// Animate ramps every tank and leaves the pipes empty; the partner window
// shows the plant with its switches locked.
TEST_F(SimTrialTest, TheAnimateAndPartnerWindowButtons)
{
    ASSERT_TRUE(Open());
    S().plant().Clock = {.Minutes = 2, .Seconds = 0};
    W().cmdAnimate_Click();
    EXPECT_EQ(W().plantModel().VisibleSegmentCount(), 0);
    for (int t = 0; t < TankCount; ++t) EXPECT_EQ(W().plantModel().Tank(t).height, 50) << "tank " << t;
    EXPECT_EQ(W().SimTime->text(), "03:41") << "101 clock steps";

    W().cmdTeamMode_Click();
    ASSERT_FALSE(W().PartnerWindow.isNull());
    ui::frmSimulation& partner = *W().PartnerWindow;
    EXPECT_TRUE(partner.isVisible());
    EXPECT_EQ(partner.SimulatorMode->text(), "Experiment");
    QTest::mouseClick(partner.cmdSetup, Qt::LeftButton);
    for (QPushButton* button : partner.Switch) EXPECT_FALSE(button->isEnabled()) << "even after a setup";
    partner.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(W().PartnerWindow.isNull());
}

class SimOptionsTest : public SimWindowTest {
protected:
    void SetUp() override
    {
        SimWindowTest::SetUp();
        AddParticipant("ann", "0");
        participant_.UserID = "ann";
        ASSERT_TRUE(Open());
        options_ = std::make_unique<ui::frmSimOptions>(participant_, W(), &W());
        options_->show();
    }
    void TearDown() override
    {
        options_.reset();
        SimWindowTest::TearDown();
    }
    std::unique_ptr<ui::frmSimOptions> options_;
};

// Each speed shows its minutes in both windows; the last one chosen stays after
// the dialog is closed from its title bar.
TEST_F(SimOptionsTest, EachSpeedIsCaptionedAndMirroredIntoTheWindowAndTheSession)
{
    const std::pair<int, const char*> speeds[] = {
        {3750, "30 Minute Simulation"}, {2000, "16 Minute Simulation"}, {1875, "15 Minute Simulation"}, {125, "1 Minute Simulation"}};
    for (const auto& [value, caption] : speeds) {
        options_->HScroll1->setValue(value);
        EXPECT_EQ(Texts({options_->lblSimLength, W().lblSimLength}), QStringList({caption, caption})) << value;
        EXPECT_EQ(std::tuple(W().HScroll1->value(), participant_.SimRate, S().speedValue), std::tuple(value, value, value));
    }
    options_->close();
    EXPECT_EQ(participant_.SimRate, 125);
}

// Opening the dialog offers nothing; its check box shows and hides the window's
// Feedforward button each time; Continue keeps the choice and the window's speed.
TEST_F(SimOptionsTest, FeedforwardShowsAndHidesTheWindowsButtonAndContinueKeepsTheSpeed)
{
    const int speed = W().HScroll1->value();
    EXPECT_FALSE(participant_.FeedforwardOn || Shown(W().FFButton));
    const QPoint box(8, options_->chkFeedforward->height() / 2);
    for (bool on : {true, false, true}) {
        QTest::mouseClick(options_->chkFeedforward, Qt::LeftButton, {}, box);
        EXPECT_EQ(std::pair(participant_.FeedforwardOn, Shown(W().FFButton)), std::pair(on, on));
    }
    Click(options_->cmdContinue);
    EXPECT_FALSE(options_->isVisible());
    EXPECT_EQ(std::pair(participant_.SimRate, W().HScroll1->value()), std::pair(0, speed));
    Click(W().cmdSetup);
    EXPECT_TRUE(Shown(W().FFButton) && W().FFButton->isEnabled()) << "the choice survives the setup";
    EXPECT_EQ(S().timerInterval, speed) << "the trial runs at the window's own speed";
}

}  // namespace
}  // namespace kestu::uitest
