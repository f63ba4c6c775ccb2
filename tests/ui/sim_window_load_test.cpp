// The simulation window as it opens: its load in each simulator mode, what it
// reports when the plant cannot be loaded, and its geometry: every control in
// its own place, texts that fit, and a layout that scales with the window.
#include <QAbstractButton>

#include "ui_fixture.h"
#include "ui/plant_view.h"

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
}

// A table that cannot be read is reported at the start of the program.
TEST_F(SimWindowTest, AMissingDatabaseIsReportedAtTheLoad)
{
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

}  // namespace
}  // namespace kestu::uitest
