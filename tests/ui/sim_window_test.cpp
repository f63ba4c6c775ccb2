// The simulation window: its load in each simulator mode and its geometry
// (every control in its own place, texts that fit, a layout that scales with
// the window); then what it shows while a trial is set up and runs: the
// session's controls, the engine's drawing calls, the background colours, the
// window's own display operations.
#include <QAbstractButton>
#include <QApplication>

#include "ui_fixture.h"
#include "ui/plant_view.h"

namespace kestu::uitest {
namespace {

// Every mode shows an empty plant with every switch off; Replay lists the
// participant's trials, hides the trial buttons and locks the switches.
TEST_F(SimWindowTest, LoadsInEachSimulatorModeOrReportsWhyNot)
{
    const std::pair<const char*, ParticipantState> modes[] = {
        {"Experiment", {.UserID = "ann", .TrialNum = 2}},
        {"Training", {.UserID = "ann", .TrialNum = 2, .TrainingMode = true}},
        {"Replay", {.UserID = "ann", .TrialNum = 3, .ReplayMode = true}},
        {"Replay", {.UserID = "ann", .ReplayMode = true}}};
    AddParticipant("ann", "0");
    for (const auto& [mode, state] : modes) {
        SCOPED_TRACE(std::string(mode) + " after " + std::to_string(state.TrialNum) + " trials");
        const bool replay = state.ReplayMode;
        window_.reset();
        participant_ = state;
        ASSERT_TRUE(Open());
        EXPECT_TRUE(messages_.shown.empty());
        EXPECT_EQ(W().SimulatorMode->text(), mode);
        // The speed can be changed while watching a replay.
        for (QWidget* w : Widgets{W().ReplayConsole, W().HScroll1, W().lblSimLength}) EXPECT_EQ(Shown(w), replay) << Name(w);
        for (QWidget* w : Widgets{W().cmdSetup, W().cmdSimulate}) EXPECT_EQ(Shown(w), !replay) << Name(w);
        for (QWidget* w : Widgets{W().FFButton, W().DecisionConsole, W().Training, W().cmdDetailFB, W().cmdAnimate,
                                  W().cmdTeamMode})
            EXPECT_FALSE(Shown(w)) << Name(w);
        EXPECT_FALSE(W().cmdSimulate->isEnabled() || W().Simulator.isActive());

        const ui::PlantModel& plant = W().plantModel();
        EXPECT_EQ(plant.VisibleSegmentCount(), 0);
        for (int t = 0; t < TankCount; ++t)
            EXPECT_FALSE(plant.Tank(t).fillVisible || plant.Tank(t).lineVisible) << "tank " << t;
        for (int s = 0; s < SwitchCount; ++s) {
            EXPECT_EQ(plant.Lamp(s), SwitchStatus::Off) << "switch " << s;
            EXPECT_EQ(W().Switch[s]->isEnabled(), !replay) << "switch " << s;
        }
        for (QLabel* label : W().TankDL) EXPECT_EQ(label->text(), "- - : - -");
        EXPECT_GT(S().plant().Tanks[0].OutCount, 0) << "the outlet table was read";

        EXPECT_EQ(Entries(W().ReplayList), replay && state.TrialNum == 3 ? QStringList({"1", "2", "3"}) : QStringList());
        EXPECT_EQ(W().ReplayList->currentIndex(), -1) << "no trial chosen yet";
        if (replay) {
            EXPECT_TRUE(Shown(W().PlayButton) && !Shown(W().PauseButton));
            EXPECT_FALSE(W().PlayButton->isEnabled() || W().StopButton->isEnabled()) << "nothing to play yet";
        }
    }

    // A missing database is reported; a table that cannot be read, at the start of the program.
    window_.reset();
    std::filesystem::remove(dbPath_);
    EXPECT_FALSE(Open());
    ExpectOneMessageWith({DbPathText()});
}

// Every control of `parent` but the plant view, hidden ones shown so none can
// hide an overlap, lies inside it and clear of the others.
void ExpectNoOverlaps(QWidget* parent, const QWidget* plantView)
{
    std::vector<QWidget*> controls;
    for (QWidget* child : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child == plantView || child->isWindow() || child->objectName().startsWith("qt_")) continue;
        if (child->objectName().startsWith("MissedFB_")) continue;  // drawn over the tanks on purpose
        child->show();
        controls.push_back(child);
    }
    ASSERT_FALSE(controls.empty());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_TRUE(parent->rect().contains(controls[i]->geometry())) << Name(controls[i]) << " sticks out of " << Name(parent);
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << Name(controls[i]) << " overlaps " << Name(controls[j]);
    }
}

// No control overlaps another (the hidden ones included) and every caption
// fits; twice the size, everything doubles; a wider window keeps the
// proportions and centres the design.
TEST_F(SimWindowTest, NoControlOverlapsOrClipsItsCaptionAndTheLayoutScalesWithTheWindow)
{
    ASSERT_TRUE(Open());
    ExpectNoOverlaps(&W(), W().plantView);
    for (QGroupBox* frame : W().findChildren<QGroupBox*>()) ExpectNoOverlaps(frame, W().plantView);
    for (QWidget* w : W().findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
        text.remove('&');
        if (text.isEmpty()) continue;
        const int room = w->width() - (qobject_cast<QAbstractButton*>(w) ? 8 : 0);
        EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room) << Name(w) << ": " << text.toStdString();
        EXPECT_LE(w->fontMetrics().height(), w->height()) << Name(w);
    }

    const QRect small = W().Switch[17]->geometry();
    const int smallFont = W().PumpsInUse->font().pixelSize();
    W().resize(2 * W().sizeHint());
    QCoreApplication::processEvents();
    const QRect large = W().Switch[17]->geometry();
    EXPECT_NEAR(large.left(), 2 * small.left(), 1);
    EXPECT_NEAR(large.top(), 2 * small.top(), 1);
    EXPECT_NEAR(large.width(), 2 * small.width(), 1);
    EXPECT_EQ(W().PumpsInUse->font().pixelSize(), 2 * smallFont);
    EXPECT_EQ(W().plantView->geometry(), W().rect());

    W().resize(W().sizeHint().width() * 2, W().sizeHint().height());
    QCoreApplication::processEvents();
    EXPECT_EQ(W().Switch[17]->size(), small.size());
    EXPECT_GT(W().Switch[17]->x(), small.left());
}

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

}  // namespace
}  // namespace kestu::uitest
