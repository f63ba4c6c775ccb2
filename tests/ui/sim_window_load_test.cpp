// The simulation window as it opens: its load in each simulator mode, what it
// reports when the plant cannot be loaded, the tooltips of its figures and
// buttons, and its geometry: every control in its own place, texts that fit,
// and a layout that scales with the window.
#include <QAbstractButton>

#include "ui_fixture.h"
#include "ui/plant_view.h"
#include "ui/twip_scale.h"

namespace kestu::uitest {
namespace {

// Every mode shows an empty plant with every switch off; Replay lists the
// participant's trials, hides the trial buttons and locks the switches.
TEST_F(SimWindowTest, LoadsInEachSimulatorMode)
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
        EXPECT_EQ(Shown(W().ReplayConsole), replay);
        EXPECT_EQ(Shown(W().HScroll1), replay) << "the speed can be changed while watching";
        EXPECT_EQ(Shown(W().lblSimLength), replay);
        EXPECT_EQ(W().lblSimLength->text(), "15 Minute Simulation");
        EXPECT_EQ(Shown(W().cmdSetup), !replay);
        EXPECT_EQ(Shown(W().cmdSimulate), !replay);
        EXPECT_FALSE(W().cmdSimulate->isEnabled());
        EXPECT_FALSE(Shown(W().FFButton)) << "feedforward not chosen";
        for (QWidget* w : std::initializer_list<QWidget*>{W().DecisionConsole, W().Training, W().cmdDetailFB,
                                                          W().cmdAnimate, W().cmdTeamMode})
            EXPECT_FALSE(Shown(w)) << w->objectName().toStdString();

        const ui::PlantModel& plant = W().plantModel();
        EXPECT_EQ(plant.VisibleSegmentCount(), 0);
        for (int t = 0; t < TankCount; ++t) {
            EXPECT_FALSE(plant.Tank(t).fillVisible) << "tank " << t;
            EXPECT_FALSE(plant.Tank(t).lineVisible) << "tank " << t;
            EXPECT_FALSE(Shown(W().MissedFB[t]));
        }
        for (int s = 0; s < SwitchCount; ++s) {
            EXPECT_EQ(plant.Lamp(s), SwitchStatus::Off) << "switch " << s;
            EXPECT_EQ(W().Switch[s]->isEnabled(), !replay) << "switch " << s;
            EXPECT_EQ(W().Switch[s]->text(), s % 2 == 0 ? "1" : "2");
        }
        for (QLabel* label : W().TankDL) EXPECT_EQ(label->text(), "- - : - -");
        EXPECT_EQ(W().TotalMissedBuckets->text(), "0");
        EXPECT_EQ(W().PumpsInUse->text(), "0");
        EXPECT_GT(S().plant().Tanks[0].OutCount, 0) << "the outlet table was read";
        EXPECT_FALSE(W().Simulator.isActive());

        EXPECT_EQ(Entries(W().ReplayList),
                  replay && state.TrialNum == 3 ? QStringList({"1", "2", "3"}) : QStringList());
        EXPECT_EQ(W().ReplayList->currentIndex(), -1) << "no trial chosen yet";
        if (replay) {
            EXPECT_FALSE(Shown(W().PauseButton));
            EXPECT_TRUE(Shown(W().PlayButton));
            EXPECT_FALSE(W().PlayButton->isEnabled());
            EXPECT_FALSE(W().StopButton->isEnabled());
        }
    }
}

TEST_F(SimWindowTest, APlantThatCannotBeLoadedIsReportedByTableOrDatabase)
{
    Sql("UPDATE sorttable SET sorta = 'half' WHERE rowid = 3");
    EXPECT_FALSE(Open());
    ExpectOneMessageWith({"sorttable"});

    window_.reset();
    messages_.shown.clear();
    std::filesystem::remove(dbPath_);
    EXPECT_FALSE(Open());
    ExpectOneMessageWith({DbPathText()});
}

TEST_F(SimWindowTest, TooltipsNameWhatEachControlShows)
{
    ASSERT_TRUE(Open());
    std::vector<std::pair<QWidget*, const char*>> tips = {
        {W().TotalMissedBuckets, "Missed Water Buckets"}, {W().PumpsInUse, "Number of Active Pumps"},
        {W().TrialNum, "Current Trial Number"},           {W().SimTime, "Current Simulation Time"},
        {W().SimulatorMode, "Current Simulator Type"},    {W().cmdSetup, "Setup Simulation Scenario"},
        {W().cmdSimulate, "Start/Stop Simulation"},       {W().FFButton, "Save/Restore Simulation Snapshot"},
        {W().StopButton, "Stop & Reset Simulation"}};
    for (QLabel* label : W().TankDL) tips.push_back({label, "Deadline"});
    for (const auto& [widget, tip] : tips) EXPECT_EQ(widget->toolTip(), tip) << widget->objectName().toStdString();
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
        const std::string name = controls[i]->objectName().toStdString();
        EXPECT_TRUE(parent->rect().contains(controls[i]->geometry()))
            << name << " sticks out of " << parent->objectName().toStdString();
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << name << " overlaps " << controls[j]->objectName().toStdString();
    }
}

// No control overlaps another, the hidden ones included, and every caption fits.
TEST_F(SimWindowTest, OpensAtTheDesignSizeWhereNoControlOverlapsOrClipsItsCaption)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(W().size(), QSize(953, 728));
    ExpectNoOverlaps(&W(), W().plantView);
    for (QGroupBox* frame : W().findChildren<QGroupBox*>()) ExpectNoOverlaps(frame, W().plantView);
    for (QWidget* w : W().findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
        text.remove('&');
        if (text.isEmpty()) continue;
        const int room = w->width() - (qobject_cast<QAbstractButton*>(w) ? 8 : 0);
        EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room) << w->objectName().toStdString() << ": " << text.toStdString();
        EXPECT_LE(w->fontMetrics().height(), w->height()) << w->objectName().toStdString();
    }
}

// Fifteen twips make a pixel at the design size, half as many at twice the size.
TEST_F(SimWindowTest, SwitchesSitWhereThePlantDrawingPutsThemAndTheLayoutScalesWithTheWindow)
{
    ASSERT_TRUE(Open());
    const ui::TwipScale scale(W().size(), QSize(ui::DesignWidth, ui::DesignHeight));
    EXPECT_EQ(scale.ToPixels(QRect(150, 300, 600, 750)), QRect(10, 20, 40, 50));
    EXPECT_EQ(scale.FontPixels(9), 12);
    for (int s = 0; s < SwitchCount; ++s)
        EXPECT_EQ(W().Switch[s]->geometry(), scale.ToPixels(W().plantModel().layout().SwitchButton(s))) << s;
    EXPECT_EQ(W().plantView->geometry(), W().rect());

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
    EXPECT_EQ(ui::TwipScale(W().size(), QSize(ui::DesignWidth, ui::DesignHeight)).ToPixels(QRect(150, 300, 600, 750)),
              QRect(20, 40, 80, 100));

    // A wider window keeps the proportions and centres the design area.
    W().resize(W().sizeHint().width() * 2, W().sizeHint().height());
    QCoreApplication::processEvents();
    EXPECT_EQ(W().Switch[17]->size(), small.size());
    EXPECT_GT(W().Switch[17]->x(), small.left());
}

}  // namespace
}  // namespace kestu::uitest
