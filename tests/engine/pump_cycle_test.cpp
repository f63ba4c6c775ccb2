#include "engine_fixture.h"

namespace kestu::testing {
namespace {

using PumpCycleTest = EngineTest;

TEST_F(PumpCycleTest, ThreeBucketTankEmptiesTwoTicksApartThenCleansTenTicks)
{
    Water(3, 3.0);
    engine.Switch_Click(6);
    ASSERT_EQ(StatusOf(6), SwitchStatus::On);

    std::vector<double> levels;
    int cleanAt = 0, offAt = 0;
    for (int tick = 1; tick <= 30; ++tick) {
        Tick();
        levels.push_back(plant.Tanks[3].Water);
        if (!cleanAt && StatusOf(6) == SwitchStatus::Clean) cleanAt = tick;
        if (cleanAt && !offAt && StatusOf(6) == SwitchStatus::Off) offAt = tick;
    }
    // The click resets the switch's count, so its cycles fall on ticks 2, 4, 6, 8.
    EXPECT_EQ(levels[0], 3.0);
    EXPECT_EQ(levels[1], 2.0);
    EXPECT_EQ(levels[3], 1.0);
    EXPECT_EQ(levels[5], 0.0);
    EXPECT_EQ(cleanAt, 8);
    EXPECT_EQ(offAt, 18);
    EXPECT_EQ(plant.PumpState[6], 0);
    EXPECT_EQ(plant.PumpsAllocated, 0);
    EXPECT_EQ(plant.Tanks[3].ExpectAmt, -3);
}

TEST_F(PumpCycleTest, DryTankStartsCleaningWithoutMovingWaterAndStopsThePipe)
{
    Water(4, 1.0);
    engine.Switch_Click(8);
    plant.Tanks[4].Water = 0.5;
    display.calls.clear();
    Tick(2);
    EXPECT_EQ(StatusOf(8), SwitchStatus::Clean);
    EXPECT_EQ(plant.PumpState[8], -5);
    EXPECT_EQ(plant.Tanks[4].Water, 0.5);
    EXPECT_EQ(display.calls, std::vector<std::string>{"PipeWater 4 off"});
    EXPECT_EQ(plant.CleaningQueue[0], 8);
}

TEST_F(PumpCycleTest, SharesGoDownstreamAndTheRestLeavesThePlant)
{
    TankState& t1 = plant.Tanks[1];
    t1.OutCount = 3;
    t1.OutTo[1] = 2, t1.OutShare[1] = 0.6;
    t1.OutTo[2] = 5, t1.OutShare[2] = 0.3;
    t1.OutTo[3] = 0, t1.OutShare[3] = 0.1;  // tank 0 never receives
    Water(1, 10);
    engine.Switch_Click(2);
    Tick(2);
    EXPECT_EQ(plant.Tanks[1].Water, 9);
    EXPECT_DOUBLE_EQ(plant.Tanks[2].Water, 0.6);
    EXPECT_DOUBLE_EQ(plant.Tanks[5].Water, 0.3);
    EXPECT_EQ(plant.Tanks[0].Water, 0);
}

TEST_F(PumpCycleTest, HandoverFromLowerSwitchPumpsOneTickLaterFromHigherTwo)
{
    // Five pumps out; switch 7 (tank 3) is cleaning and switch 20 (tank 10) queues for its pump.
    for (int t : {0, 1, 2, 3, 4}) Water(t, 100);
    Water(10, 100);
    Water(15, 100);
    for (int s : {0, 2, 4, 7, 8}) engine.Switch_Click(s);
    engine.Switch_Click(7);  // ON -> CLEAN, joins the queue
    engine.Switch_Click(20);
    ASSERT_EQ(StatusOf(20), SwitchStatus::Queued);
    ASSERT_EQ(plant.PumpHandover[7], 20);

    int onAt = 0, firstPumpAt = 0;
    for (int tick = 1; tick <= 14 && !firstPumpAt; ++tick) {
        Tick();
        if (!onAt && StatusOf(20) == SwitchStatus::On) onAt = tick;
        if (onAt && plant.Tanks[10].Water < 100) firstPumpAt = tick;
    }
    ASSERT_GT(onAt, 0);
    EXPECT_EQ(StatusOf(7), SwitchStatus::Off);
    EXPECT_EQ(firstPumpAt, onAt + 1);

}

TEST_F(PumpCycleTest, HandoverFromHigherSwitchPumpsTwoTicksLater)
{
    for (int t : {0, 1, 2, 3, 20}) Water(t, 100);
    Water(5, 100);
    for (int s : {0, 2, 4, 6, 41}) engine.Switch_Click(s);
    engine.Switch_Click(41);  // cleaning
    engine.Switch_Click(10);  // tank 5 queues behind switch 41
    ASSERT_EQ(plant.PumpHandover[41], 10);
    int onAt = 0, firstPumpAt = 0;
    for (int tick = 1; tick <= 16 && !firstPumpAt; ++tick) {
        Tick();
        if (!onAt && StatusOf(10) == SwitchStatus::On) onAt = tick;
        if (onAt && plant.Tanks[5].Water < 100) firstPumpAt = tick;
    }
    ASSERT_GT(onAt, 0);
    EXPECT_EQ(firstPumpAt, onAt + 2);
}

TEST_F(PumpCycleTest, CountsBusyAndSweepTicksAndRecountsPumps)
{
    Water(0, 100);
    Water(1, 100);
    engine.Switch_Click(0);
    engine.Switch_Click(2);
    engine.Switch_Click(2);  // cleaning from now on
    Tick(1);
    const auto busy = plant.BusyPumpTicks, sweep = plant.SweepPumpTicks;
    Tick(8);
    EXPECT_EQ(plant.BusyPumpTicks - busy, 8);
    EXPECT_EQ(plant.SweepPumpTicks - sweep, 8);
    EXPECT_EQ(plant.PumpsAllocated, 2);
    EXPECT_EQ(plant.PumpsReleasing, 1);
    EXPECT_EQ(plant.PumpsInUseShown, 1);
}

// A cleaning that began later but ends first leaves by its own entry, so a
// later reservation is never promised to a switch that no longer cleans.
TEST_F(PumpCycleTest, EndedCleaningLeavesTheQueueByItsOwnEntry)
{
    engine.EnqueueCleaning(12);
    engine.EnqueueCleaning(4);
    engine.EnqueueCleaning(30);
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
