// What the simulation window shows while a trial is set up and runs: the
// mapping of the session's controls, the engine's drawing calls, the
// background colours, the window's own display operations, and the options
// dialog's speed captions and choices mirrored into the window.
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
        participant_.UserID = "ann";
        participant_.TrialNum = 4;
    }
    QColor Back(const QWidget* w) const { return w->palette().color(QPalette::Window); }
    int FlowingSegments(int tank)
    {
        int flowing = 0;
        for (std::size_t i = 0; i < W().plantModel().layout().Segments().size(); ++i)
            flowing += W().plantModel().SegmentVisible(i) && W().plantModel().layout().Segments()[i].region == tank;
        return flowing;
    }
};

TEST_F(SimTrialTest, SetupShowsTheTrialAboutToRunAndSwitchClicksShowInLampsPipesAndCounter)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(W().TrialNum->text(), "5");
    EXPECT_EQ(W().SimTime->text(), "00:00");
    EXPECT_FALSE(Shown(W().cmdSetup));
    EXPECT_TRUE(W().cmdSimulate->isEnabled());
    // Deadline labels in the order of their tanks: 21, 22, 17, 18, 7, 8, 19, 20, 11, 12, 13, 14.
    EXPECT_EQ(W().TankDL[0]->text(), "07:00");
    EXPECT_EQ(W().TankDL[1]->text(), "08:00");
    EXPECT_EQ(W().TankDL[8]->text(), "02:00");
    // Tank 0 starts with 50 buckets: 25 twips of water, blue surface.
    const ui::TankGauge& tank0 = W().plantModel().Tank(0);
    EXPECT_TRUE(tank0.fillVisible);
    EXPECT_EQ(tank0.height, 25);
    EXPECT_EQ(tank0.lineColour, ui::SurfaceColour::Blue);
    EXPECT_TRUE(std::filesystem::exists(FilePath("ann.5")));

    // Switch clicks light lamps, fill pipes and count the pumps.
    Click(W().Switch[0]);
    EXPECT_EQ(W().plantModel().Lamp(0), SwitchStatus::On);
    EXPECT_EQ(FlowingSegments(0), 4);
    EXPECT_EQ(W().plantModel().VisibleSegmentCount(), 4) << "only the pumped tank's pipe";
    EXPECT_EQ(W().PumpsInUse->text(), "1");
    EXPECT_EQ(Back(W().PumpsInUse), QColor(255, 0, 0));

    for (int s : {2, 4, 6, 8}) Click(W().Switch[s]);
    EXPECT_EQ(W().PumpsInUse->text(), "5");
    EXPECT_EQ(Back(W().PumpsInUse), QColor(0, 255, 0)) << "five pumps in use turn the counter green";
    Click(W().Switch[10]);  // no pump left, none cleaning: nothing happens
    EXPECT_EQ(W().plantModel().Lamp(10), SwitchStatus::Off);

    Click(W().Switch[0]);  // off again: the pump goes to cleaning
    EXPECT_EQ(W().plantModel().Lamp(0), SwitchStatus::Clean);
    EXPECT_EQ(FlowingSegments(0), 0);
    Click(W().Switch[10]);  // promised the pump that is cleaning
    EXPECT_EQ(W().plantModel().Lamp(10), SwitchStatus::Queued);
}

// The timer at the chosen speed, the partner window refused, a tick with a
// click during it, and closing the window: the log ends with STOP at the time reached.
TEST_F(SimTrialTest, ARunningTrialRefusesThePartnerWindowHandlesClicksDuringATickAndStopsOnClose)
{
    StartTrial();
    EXPECT_TRUE(W().Simulator.isActive());
    EXPECT_EQ(W().Simulator.interval(), 1937);
    EXPECT_FALSE(Shown(W().cmdSimulate));
    EXPECT_FALSE(Shown(W().cmdSetup));
    EXPECT_FALSE(W().cmdTeamMode->isEnabled()) << "no partner window during a trial";
    W().cmdTeamMode_Click();
    EXPECT_TRUE(W().PartnerWindow.isNull());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, "The partner window cannot be opened while a trial runs.");
    EXPECT_EQ(S().plant().Clock.Minutes * 60 + S().plant().Clock.Seconds, 0) << "the running plant is untouched";
    EXPECT_TRUE(W().Simulator.isActive());

    // During the tick's yields a click is handled, but a timer event starts no second tick.
    auto windowYield = S().host.yield;
    bool fired = false;
    S().host.yield = [&](YieldPoint point) {
        if (!fired) {
            fired = true;
            W().Simulator_Timer();  // as if the timer fired while events are processed
        }
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
    const auto headers = LogHeaders(FilePath("ann.5"));
    ASSERT_FALSE(headers.empty());
    EXPECT_EQ(headers.back(), "0,5,\"STOP\",0");
    EXPECT_EQ(SqlValue("SELECT TrialNum FROM UserData WHERE UserID = 'ann'").toString(), "5");
}

// A held snapshot colours the whole set light red, as does colour type 7,
// sparing the counters; restoring it brings back the face colour.
TEST_F(SimTrialTest, TheBackgroundShowsAHeldSnapshotOnTheWholeSetAndSparesTheCounters)
{
    participant_.FeedforwardOn = true;
    StartTrial();
    std::vector<QWidget*> set = {&W(),           W().fraSimTime,     W().fraSimulatorMode, W().fraTrialNum,
                                 W().TrialNum,   W().ReplayConsole,  W().SimulatorMode,    W().SimTime,
                                 W().lblSpeed,   W().lblFaster,      W().lblPumpsInUse,    W().lblSlower,
                                 W().lblSimLength, W().lblReplayTrial, W().lblDeadlines,   W().lblMissedBuckets};
    set.insert(set.end(), W().TankDL.begin(), W().TankDL.end());
    ASSERT_EQ(set.size(), 28u);
    auto expectBackground = [&](const QColor& colour, const char* step) {
        for (QWidget* w : set) EXPECT_EQ(Back(w), colour) << step << ": " << w->objectName().toStdString();
        EXPECT_EQ(Back(W().TotalMissedBuckets), QColor(0, 0, 0)) << step;
        EXPECT_EQ(Back(W().PumpsInUse), QColor(255, 0, 0)) << step;
    };
    const QColor lightRed(255, 192, 192), face = QApplication::palette().color(QPalette::Button);
    W().Simulator_Timer();
    Click(W().FFButton);
    EXPECT_EQ(W().FFButton->text(), "&Restore FF");
    expectBackground(lightRed, "snapshot held");
    EXPECT_TRUE(std::filesystem::exists(FilePath("ann.DAT")));
    for (int i = 0; i < 3; ++i) W().Simulator_Timer();
    Click(W().FFButton);
    EXPECT_EQ(W().FFButton->text(), "&Feedforward");
    expectBackground(face, "snapshot restored");
    EXPECT_EQ(W().SimTime->text(), "00:01") << "back at the snapshot's time";
    W().SimBackground(7);
    expectBackground(lightRed, "colour type 7");
    W().SimBackground(0);
    expectBackground(face, "colour type 0");
}

TEST_F(SimTrialTest, DetailFeedbackFlipsThePerTankFiguresAndTwoClicksUndoIt)
{
    ASSERT_TRUE(Open());
    S().controls.DetailFBVisible = true;
    W().ApplyControls();
    Click(W().cmdDetailFB);
    for (QLabel* label : W().MissedFB) EXPECT_TRUE(Shown(label));
    Click(W().cmdDetailFB);
    for (QLabel* label : W().MissedFB) EXPECT_FALSE(Shown(label));
}

// Animate ramps every tank and leaves the pipes empty; the partner window
// shows the plant with its switches locked.
TEST_F(SimTrialTest, TheAnimateAndPartnerWindowButtons)
{
    ASSERT_TRUE(Open());
    S().plant().Clock.Minutes = 2;
    S().plant().Clock.Seconds = 0;
    W().cmdAnimate_Click();
    EXPECT_EQ(W().plantModel().VisibleSegmentCount(), 0);
    for (int t = 0; t < TankCount; ++t) {
        const ui::TankGauge& g = W().plantModel().Tank(t);
        EXPECT_EQ(g.height, 50) << "tank " << t;
        EXPECT_EQ(g.Floor(), W().plantModel().layout().TankFillDesign(t).bottom() + 1);
        EXPECT_EQ(g.lineColour, ui::SurfaceColour::Blue);
    }
    EXPECT_EQ(W().SimTime->text(), "03:41") << "101 clock steps";

    W().cmdTeamMode_Click();
    ASSERT_FALSE(W().PartnerWindow.isNull());
    ui::frmSimulation& partner = *W().PartnerWindow;
    EXPECT_EQ(partner.windowTitle(), "Kestu Simulation - Partner Window");
    EXPECT_TRUE(partner.isVisible());
    EXPECT_EQ(partner.SimulatorMode->text(), "Experiment");
    EXPECT_EQ(partner.plantModel().VisibleSegmentCount(), 0);
    for (int s = 0; s < SwitchCount; ++s) EXPECT_EQ(partner.plantModel().Lamp(s), SwitchStatus::Off);
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

TEST_F(SimOptionsTest, ContinueWithoutChangesKeepsTheStartValues)
{
    Click(options_->cmdContinue);
    EXPECT_FALSE(options_->isVisible());
    EXPECT_FALSE(participant_.FeedforwardOn);
    EXPECT_EQ(participant_.SimRate, 0);
    EXPECT_FALSE(Shown(W().FFButton));
    EXPECT_EQ(W().HScroll1->value(), 1937);
    Click(W().cmdSetup);
    EXPECT_EQ(S().timerInterval, 1937) << "the trial runs at the window's own speed";
}

// Each speed shows its minutes in both windows; the last one chosen, with the
// dialog closed from its title bar, drives the trial's timer.
TEST_F(SimOptionsTest, EachSpeedIsCaptionedAndMirroredAndTheLastOneRunsTheTrial)
{
    const std::pair<int, const char*> speeds[] = {{3750, "30 Minute Simulation"}, {2000, "16 Minute Simulation"},
                                                  {1937, "15 Minute Simulation"}, {1875, "15 Minute Simulation"},
                                                  {125, "1 Minute Simulation"}};
    for (const auto& [value, caption] : speeds) {
        options_->HScroll1->setValue(value);
        EXPECT_EQ(options_->lblSimLength->text(), caption) << value;
        EXPECT_EQ(W().lblSimLength->text(), caption) << value;
        EXPECT_EQ(W().HScroll1->value(), value);
        EXPECT_EQ(participant_.SimRate, value);
        EXPECT_EQ(S().speedValue, value);
    }
    options_->close();
    EXPECT_FALSE(options_->isVisible());
    EXPECT_EQ(participant_.SimRate, 125);
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    EXPECT_EQ(W().Simulator.interval(), 125);
    EXPECT_EQ(SqlValue("SELECT SimRate FROM Experiments").toDouble(), 1.0);
}

TEST_F(SimOptionsTest, FeedforwardShowsAndHidesTheWindowsButtonEachTimeAndSurvivesTheSetup)
{
    const QPoint box(8, options_->chkFeedforward->height() / 2);
    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(options_->chkFeedforward, Qt::LeftButton, {}, box);
        EXPECT_TRUE(participant_.FeedforwardOn);
        EXPECT_TRUE(Shown(W().FFButton));
        QTest::mouseClick(options_->chkFeedforward, Qt::LeftButton, {}, box);
        EXPECT_FALSE(participant_.FeedforwardOn);
        EXPECT_FALSE(Shown(W().FFButton));
    }
    QTest::mouseClick(options_->chkFeedforward, Qt::LeftButton, {}, box);
    Click(options_->cmdContinue);
    Click(W().cmdSetup);
    EXPECT_TRUE(Shown(W().FFButton));
    EXPECT_TRUE(W().FFButton->isEnabled());
}

}  // namespace
}  // namespace kestu::uitest
