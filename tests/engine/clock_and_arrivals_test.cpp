#include <algorithm>

#include "engine_fixture.h"

namespace kestu::testing {
namespace {

using ClockTest = EngineTest;
using ArrivalTest = EngineTest;

TEST(ClockTime, OrdersByMinuteThenSecondAndShowsTwoDigits)
{
    EXPECT_LT((ClockTime{0, 59}), (ClockTime{1, 0}));
    EXPECT_LT((ClockTime{1, 4}), (ClockTime{1, 5}));
    EXPECT_EQ(FormatClock({5, 30}), "05:30");
    EXPECT_EQ(FormatClock({0, 0}), "00:00");
    EXPECT_EQ(FormatClock({123, 9}), "123:09");
    EXPECT_EQ((ClockTime{2, 5}).TotalSeconds(), 125);
}

TEST_F(ClockTest, CarriesIntoMinutesWithoutWrappingAndStandsWhenTheTimerStops)
{
    plant.Clock = {59, 59};
    engine.NextSimTime();
    EXPECT_EQ(plant.Clock, (ClockTime{60, 0}));

    // A checkpoint that stops the timer ends the tick before the clock moves.
    engine.hooks.deadlineCheckpoint = [&] { engine.SetTimerRunning(false); };
    plant.Clock = {0, 5};
    Tick();
    EXPECT_EQ(plant.Clock, (ClockTime{0, 5}));
    EXPECT_EQ(plant.ElapsedTicks, 1);
}

TEST_F(ArrivalTest, RowsApplyOnTheirSecondAccumulateAndBlockBehindOneSkipped)
{
    ArrivalRow first{{0, 1}, {}}, late{{0, 1}, {}}, after{{0, 3}, {}};
    first.Water[3] = 0.5;
    late.Water[3] = 100;
    after.Water[3] = 100;
    engine.SetArrivals({first, late, after}, 0);
    plant.Clock = {0, 0};
    Tick();  // clock 0:00 -> 0:01; the row of 0:01 waits for the next tick
    EXPECT_EQ(plant.Tanks[3].Water, 0);
    Tick();
    EXPECT_EQ(plant.Tanks[3].Water, 0.5);
    Tick(5);  // the second 0:01 row never comes round again, and blocks the 0:03 row
    EXPECT_EQ(plant.Tanks[3].Water, 0.5);
    EXPECT_EQ(engine.NextArrivalRow(), 1u);

    // Halves add up to a whole bucket, which the tank then shows.
    ArrivalRow a{{0, 0}, {}}, b{{0, 1}, {}};
    a.Water[9] = 0.5;
    b.Water[9] = 0.5;
    engine.SetArrivals({a, b}, 0);
    plant.Clock = {0, 0};
    display.calls.clear();
    Tick(2);
    EXPECT_EQ(plant.Tanks[9].Water, 1.0);
    EXPECT_NE(std::find(display.calls.begin(), display.calls.end(), "FillTank 9 1"), display.calls.end());
}

}  // namespace
}  // namespace kestu::testing
