#include <gtest/gtest.h>

#include "scenario/deadlines.h"
#include "scenario/outlets.h"
#include "scenario/results.h"

namespace kestu {
namespace {

// The trial ends at the latest deadline (training at the earliest), minutes
// and seconds compared as one time; every setup starts from no deadline and a
// later row for the same tank wins.
TEST(Deadlines, EndTimeIsTheLatestDeadlineAndALaterRowWins)
{
    PlantState plant;
    EXPECT_EQ(LoadDeadlines(plant, {{3, 10, 30, 5}, {4, 11, 0, 6}}, false), (ClockTime{11, 0}));
    EXPECT_EQ(LoadDeadlines(plant, {{3, 11, 0, 5}, {4, 10, 30, 6}}, false), (ClockTime{11, 0}));
    EXPECT_EQ(LoadDeadlines(plant, {{3, 9, 15, 5}, {4, 8, 45, 6}}, true), (ClockTime{8, 45}));

    LoadDeadlines(plant, {{7, 2, 0, 40}}, false);
    LoadDeadlines(plant, {{8, 3, 15, 10}, {8, 4, 20, 12}}, false);
    EXPECT_EQ(std::tuple(plant.Tanks[7].Deadline, plant.Tanks[7].ExpectAmt), std::tuple(ClockTime{}, 0));
    EXPECT_EQ(std::tuple(plant.Tanks[8].Deadline, plant.Tanks[8].ExpectAmt), std::tuple(ClockTime{4, 20}, 12));
}

TEST(Results, DeadlinesAreJudgedOnTheirSecondAndNegativeAmountsLowerTheTotal)
{
    PlantState plant;
    LoadDeadlines(plant, {{3, 2, 10, 7}, {5, 2, 10, 4}, {9, 2, 11, 9}}, false);
    plant.Tanks[5].ExpectAmt = -3;
    plant.Clock = {2, 10};
    MissedTally tally;
    JudgeDeadlines(plant, tally);
    EXPECT_EQ(tally.Total, 4);
    EXPECT_EQ(tally.PerTank[3], 7);
    EXPECT_EQ(tally.PerTank[5], -3);
    EXPECT_FALSE(tally.PerTank[9].has_value());
    EXPECT_FALSE(tally.PerTank[0].has_value());  // tanks without a deadline are judged at 0:00 only
}

// No 16-bit product: 20,000 ticks of five pumps.
TEST(Results, SharesOfThePumpCapacityHoldForLongTrials)
{
    const auto shares = ComputeShares(20000, 50000, 25000);
    ASSERT_TRUE(shares.has_value());
    EXPECT_DOUBLE_EQ(shares->BusyTime, 0.5);
    EXPECT_DOUBLE_EQ(shares->SweepTime, 0.25);
    EXPECT_DOUBLE_EQ(shares->IdleTime, 0.25);
}

// Every tank record starts clear; a tank whose shares fall short of 1, even by
// rounding, gets an entry carrying the rest out of the plant.
TEST(Outlets, CompletionEntriesCarryTheRemainderInEntryOrder)
{
    PlantState plant;
    plant.Tanks[4].Water = 9;
    ASSERT_TRUE(LoadOutlets(plant, {{1, 5, 0.5}, {1, 6, 0.5}, {2, 5, 0.8}, {3, 7, 0.7}, {3, 8, 0.2}, {3, 9, 0.1},
                                    {4, 7, 0.1}, {4, 8, 0.2}, {4, 9, 0.7}})
                    .ok());
    const auto& t = plant.Tanks;
    EXPECT_EQ(std::tuple(t[1].OutCount, t[2].OutCount, t[3].OutCount, t[4].OutCount), std::tuple(2, 2, 4, 3));
    EXPECT_EQ(std::tuple(t[2].OutTo[2], t[2].OutShare[2]), std::tuple(-1, 1 - 0.8));
    EXPECT_NEAR(t[3].OutShare[4], 1.1e-16, 1e-17);
    EXPECT_EQ(t[4].Water, 0);
    EXPECT_EQ(std::tuple(t[0].OutCount, t[0].OutTo[1], t[0].OutShare[1]), std::tuple(1, -1, 1.0));
}

}  // namespace
}  // namespace kestu
