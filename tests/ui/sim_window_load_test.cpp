// The simulation window's load in each simulator mode, and what it reports
// when the plant cannot be loaded.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <filesystem>

#include "sim_window_fixture.h"

namespace kestu::uitest {
namespace {

TEST_F(SimWindowTest, ExperimentLoadShowsAnEmptyPlantWithEverySwitchOff)
{
    participant_.UserID = "ann";
    ASSERT_TRUE(Open());
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(W().windowTitle(), "Kestu Simulation");
    EXPECT_EQ(W().SimulatorMode->text(), "Experiment");
    EXPECT_FALSE(Shown(W().ReplayConsole));
    EXPECT_FALSE(Shown(W().HScroll1));
    EXPECT_FALSE(Shown(W().Label5));
    EXPECT_FALSE(Shown(W().FFButton)) << "feedforward not chosen";
    EXPECT_TRUE(Shown(W().cmdSetup));
    EXPECT_TRUE(Shown(W().cmdSimulate));
    EXPECT_FALSE(W().cmdSimulate->isEnabled());
    EXPECT_FALSE(Shown(W().DecisionConsole));
    EXPECT_FALSE(Shown(W().Training));
    EXPECT_FALSE(Shown(W().cmdDetailFB));
    EXPECT_FALSE(Shown(W().Command1));
    EXPECT_FALSE(Shown(W().Command2));

    const ui::PlantModel& plant = W().plantModel();
    EXPECT_EQ(plant.VisibleSegmentCount(), 0);
    for (int t = 0; t < TankCount; ++t) {
        EXPECT_FALSE(plant.Tank(t).fillVisible) << "tank " << t;
        EXPECT_FALSE(plant.Tank(t).lineVisible) << "tank " << t;
        EXPECT_FALSE(Shown(W().MissedFB[t]));
    }
    for (int s = 0; s < SwitchCount; ++s) {
        EXPECT_EQ(plant.Lamp(s), SwitchStatus::Off) << "switch " << s;
        EXPECT_TRUE(W().Switch[s]->isEnabled());
        EXPECT_EQ(W().Switch[s]->text(), s % 2 == 0 ? "1" : "2");
    }
    for (QLabel* label : W().TankDL) EXPECT_EQ(label->text(), "- - : - -");
    EXPECT_EQ(W().TotalMissedBuckets->text(), "0");
    EXPECT_EQ(W().PumpsInUse->text(), "0");
    EXPECT_GT(S().plant().Tanks[0].OutCount, 0) << "the outlet table was read";
    EXPECT_FALSE(W().Simulator.isActive());
}

TEST_F(SimWindowTest, TrainingLoadNamesTheMode)
{
    participant_.TrainingMode = true;
    ASSERT_TRUE(Open());
    EXPECT_EQ(W().SimulatorMode->text(), "Training");
    EXPECT_FALSE(Shown(W().ReplayConsole));
}

TEST_F(SimWindowTest, ReplayLoadListsTheParticipantsTrialsAndLocksTheSwitches)
{
    participant_.ReplayMode = true;
    participant_.TrialNum = 3;
    ASSERT_TRUE(Open());
    EXPECT_EQ(W().SimulatorMode->text(), "Replay");
    ASSERT_EQ(W().ReplayList->count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(W().ReplayList->itemText(i), QString::number(i + 1));
    EXPECT_EQ(W().ReplayList->currentIndex(), -1) << "no trial chosen yet";
    for (QPushButton* button : W().Switch) EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(Shown(W().cmdSetup));
    EXPECT_FALSE(Shown(W().cmdSimulate));
    EXPECT_FALSE(Shown(W().FFButton));
    EXPECT_FALSE(Shown(W().PauseButton));
    EXPECT_TRUE(Shown(W().PlayButton));
    EXPECT_FALSE(W().PlayButton->isEnabled());
    EXPECT_FALSE(W().StopButton->isEnabled());
    EXPECT_TRUE(Shown(W().ReplayConsole));
    EXPECT_TRUE(Shown(W().HScroll1)) << "the speed can be changed while watching";
    EXPECT_EQ(W().Label5->text(), "15 Minute Simulation");
}

TEST_F(SimWindowTest, ReplayLoadWithoutTrialsLeavesTheListEmpty)
{
    participant_.ReplayMode = true;
    ASSERT_TRUE(Open());
    EXPECT_EQ(W().ReplayList->count(), 0);
}

TEST_F(SimWindowTest, AMissingDatabaseIsReportedByNameAndTheLoadFails)
{
    std::filesystem::remove(dbPath_);
    EXPECT_FALSE(Open());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_NE(messages_.shown[0].text.indexOf(QString::fromStdString(dbPath_)), -1)
        << messages_.shown[0].text.toStdString();
}

TEST_F(SimWindowTest, AMalformedOutletTableIsReportedWithItsTable)
{
    Sql("UPDATE sorttable SET sorta = 'half' WHERE rowid = 3");
    EXPECT_FALSE(Open());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_NE(messages_.shown[0].text.indexOf("sorttable"), -1) << messages_.shown[0].text.toStdString();
}

TEST_F(SimWindowTest, TooltipsNameWhatEachControlShows)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(W().TotalMissedBuckets->toolTip(), "Missed Water Buckets");
    EXPECT_EQ(W().PumpsInUse->toolTip(), "Number of Active Pumps");
    EXPECT_EQ(W().TrialNum->toolTip(), "Current Trial Number");
    EXPECT_EQ(W().SimTime->toolTip(), "Current Simulation Time");
    EXPECT_EQ(W().SimulatorMode->toolTip(), "Current Simulator Type");
    for (QLabel* label : W().TankDL) EXPECT_EQ(label->toolTip(), "Deadline");
    EXPECT_EQ(W().cmdSetup->toolTip(), "Setup Simulation Scenario");
    EXPECT_EQ(W().cmdSimulate->toolTip(), "Start/Stop Simulation");
    EXPECT_EQ(W().FFButton->toolTip(), "Save/Restore Simulation Snapshot");
    EXPECT_EQ(W().StopButton->toolTip(), "Stop & Reset Simulation");
}

}  // namespace
}  // namespace kestu::uitest
