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

TEST_F(SwitchTest, SixthClickWithFivePumpsOnChangesNothing)
{
    for (int t = 0; t < 6; ++t) Water(t, 50);
    for (int t = 0; t < 5; ++t) engine.Switch_Click(2 * t);
    ASSERT_EQ(plant.PumpsAllocated, 5);
    const PlantState before = plant;
    engine.Switch_Click(10);
    EXPECT_EQ(StatusOf(10), SwitchStatus::Off);
    EXPECT_EQ(plant.PumpsAllocated, 5);
    EXPECT_EQ(plant.PumpsInUseShown, 5);
    EXPECT_EQ(plant.PumpHandover, before.PumpHandover);
}

TEST_F(SwitchTest, FullPlantQueuesBehindTheOldestCleaningPump)
{
    for (int t = 0; t < 6; ++t) Water(t, 50);
    for (int t = 0; t < 5; ++t) engine.Switch_Click(2 * t);
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
    // Clicking a queued or cleaning switch does nothing.
    engine.Switch_Click(10);
    engine.Switch_Click(6);
    EXPECT_EQ(StatusOf(10), SwitchStatus::Queued);
    EXPECT_EQ(StatusOf(6), SwitchStatus::Clean);
}

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
}

TEST_F(SwitchTest, CleaningQueueKeepsOldestFirstAndDropsWhenFull)
{
    engine.ResetCleaningQueue();
    EXPECT_EQ(engine.DequeueCleaning(), -1);
    for (int s = 0; s < 11; ++s) engine.EnqueueCleaning(s);
    EXPECT_EQ(plant.CleaningQueue[9], 9);
    EXPECT_EQ(engine.DequeueCleaning(), 0);
    EXPECT_EQ(plant.CleaningQueue[0], 1);
    EXPECT_EQ(plant.CleaningQueue[9], -1);
}


}  // namespace
}  // namespace kestu::testing
