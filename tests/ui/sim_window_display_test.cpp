// What the simulation window shows while a trial is set up and runs: the
// mapping of the session's controls, the engine's drawing calls, the
// background colours, and the window's own display operations.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "sim_window_fixture.h"

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
};

TEST_F(SimTrialTest, SetupShowsTheTrialAboutToRun)
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
}

TEST_F(SimTrialTest, ASwitchClickLightsItsLampAndFillsItsPipe)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    Click(W().Switch[0]);
    EXPECT_EQ(W().plantModel().Lamp(0), SwitchStatus::On);
    int flowing = 0;
    for (std::size_t i = 0; i < W().plantModel().layout().Segments().size(); ++i)
        if (W().plantModel().SegmentVisible(i)) {
            EXPECT_EQ(W().plantModel().layout().Segments()[i].region, 0);
            ++flowing;
        }
    EXPECT_EQ(flowing, 4);
    EXPECT_EQ(W().PumpsInUse->text(), "1");
    EXPECT_EQ(W().PumpsInUse->palette().color(QPalette::Window), QColor(255, 0, 0));

    Click(W().Switch[0]);  // off again: the pump goes to cleaning
    EXPECT_EQ(W().plantModel().Lamp(0), SwitchStatus::Clean);
    EXPECT_EQ(W().plantModel().VisibleSegmentCount(), 0);
}

TEST_F(SimTrialTest, FivePumpsInUseTurnTheCounterGreen)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    for (int s : {0, 2, 4, 6, 8}) Click(W().Switch[s]);
    EXPECT_EQ(W().PumpsInUse->text(), "5");
    EXPECT_EQ(W().PumpsInUse->palette().color(QPalette::Window), QColor(0, 255, 0));
    Click(W().Switch[10]);  // no pump left, none cleaning: nothing happens
    EXPECT_EQ(W().plantModel().Lamp(10), SwitchStatus::Off);
    Click(W().Switch[0]);
    Click(W().Switch[10]);  // promised the pump that is cleaning
    EXPECT_EQ(W().plantModel().Lamp(10), SwitchStatus::Queued);
}

TEST_F(SimTrialTest, StartRunsTheTimerAtTheChosenSpeedAndHidesTheSetup)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    EXPECT_TRUE(W().Simulator.isActive());
    EXPECT_EQ(W().Simulator.interval(), 1937);
    EXPECT_FALSE(Shown(W().cmdSimulate));
    EXPECT_FALSE(Shown(W().cmdSetup));
    EXPECT_FALSE(W().Command2->isEnabled()) << "no partner window during a trial";
    W().Simulator_Timer();
    EXPECT_EQ(W().SimTime->text(), "00:01");
    EXPECT_EQ(S().plant().ElapsedTicks, 1);
}

TEST_F(SimTrialTest, ATimerEventDuringAYieldDoesNotStartASecondTick)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    auto windowYield = S().engine.hooks.yield;
    bool fired = false;
    S().engine.hooks.yield = [&](YieldPoint point) {
        if (!fired) {
            fired = true;
            W().Simulator_Timer();  // as if the timer fired while events are processed
        }
        windowYield(point);
    };
    W().Simulator_Timer();
    EXPECT_TRUE(fired);
    EXPECT_EQ(S().plant().ElapsedTicks, 1);
    EXPECT_EQ(W().SimTime->text(), "00:01");
}

TEST_F(SimTrialTest, ClicksDuringATickYieldAreHandled)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    auto windowYield = S().engine.hooks.yield;
    S().engine.hooks.yield = [&](YieldPoint point) {
        if (point == YieldPoint::AfterArrival) QTest::mouseClick(W().Switch[2], Qt::LeftButton);
        windowYield(point);
    };
    W().Simulator_Timer();
    EXPECT_EQ(W().plantModel().Lamp(2), SwitchStatus::On);
}

TEST_F(SimTrialTest, TheBackgroundColoursTheWholeSetAndSparesTheCounters)
{
    ASSERT_TRUE(Open());
    const QColor face = QApplication::palette().color(QPalette::Button);
    const QColor lightRed(255, 192, 192);
    const std::vector<QWidget*> set = [&] {
        std::vector<QWidget*> v = {&W(),        W().Frame1, W().Frame2, W().Frame3, W().TrialNum, W().ReplayConsole,
                                   W().SimulatorMode, W().SimTime, W().Label1, W().Label2, W().Label3, W().Label4,
                                   W().Label5, W().findChild<QLabel*>("Label6"), W().Label7, W().Label9};
        for (QLabel* l : W().TankDL) v.push_back(l);
        return v;
    }();
    ASSERT_EQ(set.size(), 28u);
    for (int colorType : {1, 7}) {
        W().SimBackground(colorType);
        for (QWidget* w : set) EXPECT_EQ(Back(w), lightRed) << w->objectName().toStdString();
    }
    EXPECT_EQ(Back(W().TotalMissedBuckets), QColor(0, 0, 0));
    EXPECT_EQ(Back(W().PumpsInUse), QColor(255, 0, 0));
    W().SimBackground(0);
    for (QWidget* w : set) EXPECT_EQ(Back(w), face) << w->objectName().toStdString();
}

TEST_F(SimTrialTest, AHeldSnapshotShowsInTheButtonAndTheBackground)
{
    participant_.FeedforwardOn = true;
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    W().Simulator_Timer();
    Click(W().FFButton);
    EXPECT_EQ(W().FFButton->text(), "&Restore FF");
    EXPECT_EQ(Back(&W()), QColor(255, 192, 192));
    EXPECT_TRUE(std::filesystem::exists(FilePath("ann.DAT")));
    for (int i = 0; i < 3; ++i) W().Simulator_Timer();
    Click(W().FFButton);
    EXPECT_EQ(W().FFButton->text(), "&Feedforward");
    EXPECT_EQ(Back(&W()), QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(W().SimTime->text(), "00:01") << "back at the snapshot's time";
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

TEST_F(SimTrialTest, TheAnimationTestRampsEveryTankAndLeavesThePipesEmpty)
{
    ASSERT_TRUE(Open());
    S().plant().SimMinutes = 2;
    S().plant().SimSeconds = 0;
    W().Command1_Click();
    EXPECT_EQ(W().plantModel().VisibleSegmentCount(), 0);
    for (int t = 0; t < TankCount; ++t) {
        const ui::TankGauge& g = W().plantModel().Tank(t);
        EXPECT_EQ(g.height, 50) << "tank " << t;
        EXPECT_EQ(g.Floor(), W().plantModel().layout().TankFillDesign(t).bottom() + 1);
        EXPECT_EQ(g.lineColour, ui::SurfaceColour::Blue);
    }
    EXPECT_EQ(W().SimTime->text(), "03:41") << "101 clock steps";
}

TEST_F(SimTrialTest, ThePartnerWindowIsRefusedWhileATrialRuns)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    W().Command2_Click();
    EXPECT_TRUE(W().PartnerWindow.isNull());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, "The partner window cannot be opened while a trial runs.");
    EXPECT_EQ(S().plant().SimMinutes * 60 + S().plant().SimSeconds, 0) << "the running plant is untouched";
    EXPECT_TRUE(W().Simulator.isActive());
}

TEST_F(SimTrialTest, APartnerWindowShowsThePlantWithItsSwitchesLocked)
{
    ASSERT_TRUE(Open());
    W().Command2_Click();
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

TEST_F(SimTrialTest, ClosingTheWindowMidTrialEndsTheLogWithStop)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    for (int i = 0; i < 5; ++i) W().Simulator_Timer();
    W().close();
    EXPECT_FALSE(W().Simulator.isActive());
    const auto headers = LogHeaders(FilePath("ann.5"));
    ASSERT_FALSE(headers.empty());
    EXPECT_EQ(headers.back(), "0,5,\"STOP\",0");
    EXPECT_EQ(SqlValue("SELECT TrialNum FROM UserData WHERE UserID = 'ann'").toString(), "5");
}

}  // namespace
}  // namespace kestu::uitest
