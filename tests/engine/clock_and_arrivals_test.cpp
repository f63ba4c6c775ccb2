#include <algorithm>

#include "engine_fixture.h"

namespace kestu::testing {
namespace {

using ClockTest = EngineTest;

TEST_F(ClockTest, CarriesIntoMinutesPastAnHourAndShowsTwoDigitsEach)
{
    plant.Clock = {59, 59};
    engine.NextSimTime();
    EXPECT_EQ(plant.Clock, (ClockTime{60, 0}));
    EXPECT_EQ(FormatClock({5, 0}), "05:00");
    EXPECT_EQ(FormatClock({123, 9}), "123:09");
    EXPECT_EQ((ClockTime{2, 5}).TotalSeconds(), 125);
}

// Halves arriving a second apart add up to a whole bucket, which the tank then shows.
TEST_F(ClockTest, ArrivalsAccumulateAndTheTankShowsItsWholeBuckets)
{
    ArrivalRow a{{0, 0}, {}}, b{{0, 1}, {}};
    a.Water[9] = 0.5;
    b.Water[9] = 0.5;
    engine.SetArrivals({a, b}, 0);
    Tick(2);
    EXPECT_EQ(plant.Tanks[9].Water, 1.0);
    EXPECT_NE(std::find(display.calls.begin(), display.calls.end(), "FillTank 9 0"), display.calls.end());
    EXPECT_NE(std::find(display.calls.begin(), display.calls.end(), "FillTank 9 1"), display.calls.end());
}

}  // namespace
}  // namespace kestu::testing
