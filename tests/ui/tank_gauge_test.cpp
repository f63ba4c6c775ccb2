// How a tank draws its water: fill on a fixed floor, one twip per two
// buckets, the surface line's colour telling odd from even.
#include <gtest/gtest.h>

#include "ui/tank_gauge.h"

namespace kestu::ui {
namespace {

class TankGaugeTest : public ::testing::Test {
protected:
    static constexpr int Left = 135, DesignTop = 4215;
    static constexpr int DesignFloor = DesignTop + TankFillDesignHeight;
    TankGauge gauge = TankGauge::Designed(Left, DesignTop);
};

TEST_F(TankGaugeTest, NoWaterHidesFillAndLine)
{
    EXPECT_TRUE(gauge.FillTank(0));
    EXPECT_FALSE(gauge.fillVisible);
    EXPECT_FALSE(gauge.lineVisible);
    EXPECT_EQ(gauge.lineY, DesignFloor);
    EXPECT_EQ(gauge.lineColour, SurfaceColour::Blue);
}

TEST_F(TankGaugeTest, OneBucketIsACyanLineOnTheFloor)
{
    gauge.FillTank(1);
    EXPECT_FALSE(gauge.fillVisible);
    EXPECT_TRUE(gauge.lineVisible);
    EXPECT_EQ(gauge.lineY, DesignFloor);
    EXPECT_EQ(gauge.lineColour, SurfaceColour::Cyan);
}

TEST_F(TankGaugeTest, TwoAndThreeBucketsAreOneTwipOfWater)
{
    gauge.FillTank(2);
    EXPECT_TRUE(gauge.fillVisible);
    EXPECT_EQ(gauge.height, 1);
    EXPECT_EQ(gauge.Floor(), DesignFloor);
    EXPECT_EQ(gauge.lineY, DesignFloor - 1);
    EXPECT_EQ(gauge.lineColour, SurfaceColour::Blue);

    gauge.FillTank(3);
    EXPECT_EQ(gauge.height, 1);
    EXPECT_EQ(gauge.lineY, gauge.top);
    EXPECT_EQ(gauge.lineColour, SurfaceColour::Cyan);
}

TEST_F(TankGaugeTest, FifteenHundredBucketsFillTheDesignedHeight)
{
    gauge.FillTank(10);
    gauge.FillTank(1500);
    EXPECT_EQ(gauge.height, TankFillDesignHeight);
    EXPECT_EQ(gauge.top, DesignTop);
    EXPECT_EQ(gauge.lineY, DesignTop);
}

TEST_F(TankGaugeTest, MoreThanATankfulRisesAboveTheDesign)
{
    gauge.FillTank(1600);
    EXPECT_EQ(gauge.top, DesignTop - 50);
    EXPECT_EQ(gauge.Floor(), DesignFloor);
}

TEST_F(TankGaugeTest, ANegativeAmountChangesNothingNotEvenTheColour)
{
    gauge.FillTank(3);
    const TankGauge before = gauge;
    EXPECT_FALSE(gauge.FillTank(-5));
    EXPECT_EQ(gauge, before);
    EXPECT_EQ(gauge.lineColour, SurfaceColour::Cyan);
}

TEST_F(TankGaugeTest, TheFloorStaysWhereItIsWhateverTheOrder)
{
    gauge.FillTank(40);
    gauge.FillTank(10);
    gauge.FillTank(40);
    EXPECT_EQ(gauge.Floor(), DesignFloor);
    EXPECT_EQ(gauge.top, DesignFloor - 20);
    EXPECT_EQ(gauge.lineY, gauge.top);
}

TEST_F(TankGaugeTest, AHiddenFillKeepsItsSizeAndTheLineLiesOnTheFloor)
{
    gauge.FillTank(40);
    gauge.FillTank(1);
    EXPECT_FALSE(gauge.fillVisible);
    EXPECT_EQ(gauge.height, 20);
    EXPECT_EQ(gauge.lineY, DesignFloor);
    gauge.FillTank(6);
    EXPECT_EQ(gauge.height, 3);
    EXPECT_EQ(gauge.Floor(), DesignFloor);
}

TEST_F(TankGaugeTest, ReportsOnlyRealChanges)
{
    EXPECT_TRUE(gauge.FillTank(40));
    EXPECT_FALSE(gauge.FillTank(40));
    EXPECT_TRUE(gauge.FillTank(41)) << "only the colour changes";
    EXPECT_TRUE(gauge.FillTank(0));
    EXPECT_FALSE(gauge.FillTank(0));
}

TEST_F(TankGaugeTest, HugeAmountsAreDrawnAtTheHighestFill)
{
    gauge.FillTank(10'000'000'000LL);
    EXPECT_EQ(gauge.height, MaxFillHeight);
    EXPECT_EQ(gauge.Floor(), DesignFloor);
}

}  // namespace
}  // namespace kestu::ui
