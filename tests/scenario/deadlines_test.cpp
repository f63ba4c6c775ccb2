#include <gtest/gtest.h>

#include "scenario/deadlines.h"
#include "scenario/outlets.h"
#include "scenario/results.h"

namespace kestu {
namespace {

TEST(Deadlines, EndTimeIsTheLatestDeadlineComparedAsOneTime)
{
    PlantState plant;
    EXPECT_EQ(LoadDeadlines(plant, {{3, 10, 30, 5}, {4, 11, 0, 6}}, false), (ClockTime{11, 0}));
    EXPECT_EQ(LoadDeadlines(plant, {{3, 11, 0, 5}, {4, 10, 30, 6}}, false), (ClockTime{11, 0}));
    // Training ends at the earliest deadline.
    EXPECT_EQ(LoadDeadlines(plant, {{3, 9, 15, 5}, {4, 8, 45, 6}}, true), (ClockTime{8, 45}));
}

TEST(Deadlines, EverySetupStartsFromNoDeadlineAndALaterRowWins)
{
    PlantState plant;
    LoadDeadlines(plant, {{7, 2, 0, 40}}, false);
    LoadDeadlines(plant, {{8, 3, 15, 10}, {8, 4, 20, 12}}, false);
    EXPECT_EQ(plant.Tanks[7].Deadline.Minutes, 0);
    EXPECT_EQ(plant.Tanks[7].ExpectAmt, 0);
    EXPECT_EQ(plant.Tanks[8].Deadline.Minutes, 4);
    EXPECT_EQ(plant.Tanks[8].Deadline.Seconds, 20);
    EXPECT_EQ(plant.Tanks[8].ExpectAmt, 12);
}

TEST(Results, DeadlinesAreJudgedOnTheirSecondAndNegativeAmountsLowerTheTotal)
{
    PlantState plant;
    LoadDeadlines(plant, {{3, 2, 10, 7}, {5, 2, 10, 4}, {9, 2, 11, 9}}, false);
    plant.Tanks[5].ExpectAmt = -3;
    plant.Clock.Minutes = 2, plant.Clock.Seconds = 10;
    MissedTally tally;
    JudgeDeadlines(plant, tally);
    EXPECT_EQ(tally.Total, 4);
    EXPECT_EQ(tally.PerTank[3], 7);
    EXPECT_EQ(tally.PerTank[5], -3);
    EXPECT_FALSE(tally.PerTank[9].has_value());
    EXPECT_FALSE(tally.PerTank[0].has_value());  // tanks without a deadline are judged at 0:00 only
}

TEST(Results, SharesOfThePumpCapacity)
{
    const auto shares = ComputeShares(900, 1500, 600);
    ASSERT_TRUE(shares.has_value());
    EXPECT_EQ(shares->BusyTime, 1500.0 / 4500);
    EXPECT_EQ(shares->SweepTime, 600.0 / 4500);
    EXPECT_EQ(shares->IdleTime, 1 - 2100.0 / 4500);
    // No 16-bit product: 20,000 ticks of five pumps.
    const auto wide = ComputeShares(20000, 50000, 25000);
    EXPECT_DOUBLE_EQ(wide->BusyTime, 0.5);
    EXPECT_FALSE(ComputeShares(0, 0, 0).has_value());
}

TEST(Outlets, CompletionEntriesCarryTheRemainderInEntryOrder)
{
    PlantState plant;
    plant.Tanks[4].Water = 9;
    ASSERT_EQ(LoadOutlets(plant, {{1, 5, 0.5}, {1, 6, 0.5}, {2, 5, 0.8}, {3, 7, 0.7}, {3, 8, 0.2}, {3, 9, 0.1},
                                  {4, 7, 0.1}, {4, 8, 0.2}, {4, 9, 0.7}})
                    .error(),
              "");
    EXPECT_EQ(plant.Tanks[1].OutCount, 2);
    EXPECT_EQ(plant.Tanks[2].OutCount, 2);
    EXPECT_EQ(plant.Tanks[2].OutTo[2], -1);
    EXPECT_EQ(plant.Tanks[2].OutShare[2], 1 - 0.8);
    EXPECT_EQ(plant.Tanks[3].OutCount, 4);  // 0.7 + 0.2 + 0.1 falls just short of 1
    EXPECT_NEAR(plant.Tanks[3].OutShare[4], 1.1e-16, 1e-17);
    EXPECT_EQ(plant.Tanks[4].OutCount, 3);
    EXPECT_EQ(plant.Tanks[4].Water, 0);  // every tank record starts clear
    EXPECT_EQ(plant.Tanks[0].OutCount, 1);
    EXPECT_EQ(plant.Tanks[0].OutTo[1], -1);
    EXPECT_EQ(plant.Tanks[0].OutShare[1], 1.0);
}

TEST(Outlets, RowsThatDoNotFitAreRefusedAndChangeNothing)
{
    PlantState plant;
    plant.Tanks[2].Water = 5;
    EXPECT_NE(LoadOutlets(plant, {{24, 1, 1.0}}).error().find("row 1"), std::string::npos);
    EXPECT_NE(LoadOutlets(plant, {{3, 1, 0.5}, {3, 24, 0.5}}).error().find("row 2"), std::string::npos);
    std::vector<OutletRow> eleven(11, OutletRow{6, 7, 0.05});
    EXPECT_NE(LoadOutlets(plant, eleven).error().find("more than 10"), std::string::npos);
    std::vector<OutletRow> ten(10, OutletRow{6, 7, 0.05});
    EXPECT_NE(LoadOutlets(plant, ten).error().find("no room"), std::string::npos);
    EXPECT_EQ(plant.Tanks[2].Water, 5);
}

}  // namespace
}  // namespace kestu
