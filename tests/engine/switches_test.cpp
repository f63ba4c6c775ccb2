#include "engine_fixture.h"

namespace kestu::testing {
namespace {

using SwitchTest = EngineTest;

TEST_F(SwitchTest, ClickNeedsAWholeBucket)
{
    Water(2, 0.9);
    engine.Switch_Click(4);
    EXPECT_EQ(StatusOf(4), SwitchStatus::Off);
    EXPECT_EQ(plant.PumpsAllocated, 0);
    Water(2, 1.0);
    engine.Switch_Click(4);
    EXPECT_EQ(StatusOf(4), SwitchStatus::On);
    EXPECT_EQ(plant.PumpState[4], 1);
    EXPECT_EQ(display.calls.back(), "PipeWater 2 on");
}

// With five pumps out a click waits for the oldest cleaning pump, and with
// none cleaning it changes nothing; queued and cleaning switches ignore clicks.
TEST_F(SwitchTest, FullPlantQueuesBehindTheOldestCleaningPumpOrRefuses)
{
    for (int t = 0; t < 6; ++t) Water(t, 50);
    for (int t = 0; t < 5; ++t) engine.Switch_Click(2 * t);
    const PlantState full = plant;
    engine.Switch_Click(10);
    EXPECT_EQ(StatusOf(10), SwitchStatus::Off);
    EXPECT_EQ(std::tuple(plant.PumpsAllocated, plant.PumpsInUseShown), std::tuple(5, 5));
    EXPECT_EQ(plant.PumpHandover, full.PumpHandover);

    engine.Switch_Click(6);  // ON -> CLEAN, keeps its pump
    EXPECT_EQ(StatusOf(6), SwitchStatus::Clean);
    EXPECT_EQ(plant.PumpState[6], -5);
    EXPECT_EQ(plant.CleaningQueue[0], 6);
    plant.SwitchTick[6] = 1;
    engine.Switch_Click(10);
    EXPECT_EQ(StatusOf(10), SwitchStatus::Queued);
    EXPECT_EQ(plant.PumpHandover[6], 10);
    EXPECT_EQ(plant.SwitchTick[6], 0);  // the reservation restarts the cleaning switch's count
    EXPECT_EQ(plant.CleaningQueue[0], -1);
    EXPECT_EQ(plant.PumpsAllocated, 6);
    engine.Switch_Click(10);
    engine.Switch_Click(6);
    EXPECT_EQ(StatusOf(10), SwitchStatus::Queued);
    EXPECT_EQ(StatusOf(6), SwitchStatus::Clean);
}

// A tank's pipe stops only when neither of its switches pumps, whether a
// click or a dry tank ends the pumping.
TEST_F(SwitchTest, PipeKeepsFlowingWhileThePartnerPumps)
{
    Water(7, 50);
    engine.Switch_Click(14);
    engine.Switch_Click(15);
    display.calls.clear();
    engine.Switch_Click(14);
    EXPECT_TRUE(display.calls.empty());
    engine.Switch_Click(15);
    EXPECT_EQ(display.calls, std::vector<std::string>{"PipeWater 7 off"});

    Water(4, 1.0);
    engine.Switch_Click(8);
    engine.Switch_Click(9);
    Water(4, 0.5);
    display.calls.clear();
    Tick(2);
    EXPECT_EQ(std::tuple(StatusOf(8), StatusOf(9)), std::tuple(SwitchStatus::Clean, SwitchStatus::Clean));
    EXPECT_EQ(plant.Tanks[4].Water, 0.5);
    EXPECT_EQ(display.calls, std::vector<std::string>{"PipeWater 4 off"});
}

TEST_F(SwitchTest, CleaningQueueKeepsOldestFirstAndDropsWhenFull)
{
    EXPECT_EQ(engine.DequeueCleaning(), -1);
    for (int s = 0; s < 11; ++s) engine.EnqueueCleaning(s);
    EXPECT_EQ(plant.CleaningQueue[9], 9);
    EXPECT_EQ(engine.DequeueCleaning(), 0);
    EXPECT_EQ(plant.CleaningQueue[0], 1);
    EXPECT_EQ(plant.CleaningQueue[9], -1);
}

// A cleaning that began later but ends first leaves by its own entry, so a
// later reservation is never promised to a switch that no longer cleans.
TEST_F(SwitchTest, EndedCleaningLeavesTheQueueByItsOwnEntry)
{
    for (int s : {12, 4, 30}) engine.EnqueueCleaning(s);
    plant.Status[4] = SwitchStatus::Clean;
    plant.PumpState[4] = -1;
    plant.SwitchTick[4] = 1;
    engine.PumpCycle();
    EXPECT_EQ(StatusOf(4), SwitchStatus::Off);
    EXPECT_EQ(plant.CleaningQueue[0], 12);
    EXPECT_EQ(plant.CleaningQueue[1], 30);
    EXPECT_EQ(plant.CleaningQueue[2], -1);
}

}  // namespace
}  // namespace kestu::testing
