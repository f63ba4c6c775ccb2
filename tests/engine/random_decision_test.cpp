#include <map>
#include <set>

#include "engine_fixture.h"

namespace kestu::testing {
namespace {

class RandomDecisionTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        plant.DecisionMethod = 1;
        engine.random().Seed(42);
    }
    std::vector<int> OnSwitches() const
    {
        std::vector<int> on;
        for (int s = 0; s < SwitchCount; ++s)
            if (engine.GetSwitchStatus(s) == SwitchStatus::On) on.push_back(s);
        return on;
    }
};

TEST_F(RandomDecisionTest, FillsUpToFivePumpsOnEvenSwitchesOfDifferentTanks)
{
    for (int t : {0, 1, 2}) Water(t, 10), engine.Switch_Click(2 * t + 1);
    for (int t : {5, 6, 7, 8, 9, 10}) Water(t, 10);
    engine.PumpsInUse_Display();
    ASSERT_EQ(plant.PumpsInUseShown, 3);
    engine.RandomDecision();
    const auto on = OnSwitches();
    ASSERT_EQ(on.size(), 5u);
    std::set<int> tanks;
    for (int s : on) {
        if (s >= 10) {
            EXPECT_EQ(s % 2, 0);
        }
        tanks.insert(s / 2);
    }
    EXPECT_EQ(tanks.size(), 5u);
    EXPECT_EQ(plant.PumpsInUseShown, 5);
}

TEST_F(RandomDecisionTest, OneEligibleTankGetsOneClick)
{
    Water(0, 10), Water(1, 10);
    engine.Switch_Click(0), engine.Switch_Click(2);
    Water(12, 4);
    engine.PumpsInUse_Display();
    engine.RandomDecision();
    EXPECT_EQ(StatusOf(24), SwitchStatus::On);
    EXPECT_EQ(OnSwitches().size(), 3u);
}

TEST_F(RandomDecisionTest, QueuedTankIsDrawnAgainAndTheCallEndsAfterThreeClicks)
{
    // Five pumps allocated, three cleaning and unpromised: the label shows 2.
    for (int t = 0; t < 5; ++t) Water(t, 10), engine.Switch_Click(2 * t);
    for (int t = 0; t < 3; ++t) engine.Switch_Click(2 * t);
    plant.PumpsReleasing = 3;
    engine.PumpsInUse_Display();
    ASSERT_EQ(plant.PumpsInUseShown, 2);
    Water(0, 0), Water(1, 0), Water(2, 0), Water(3, 0), Water(4, 0);
    Water(20, 5);

    struct Counter : SwitchRecordSink {
        int records = 0;
        void WriteSwitchRecord(const PlantState&, SwitchStatus, int) override { ++records; }
    } counter;
    engine.SetRecordSink(&counter);
    plant.TrialLogOn = true;
    engine.RandomDecision();
    EXPECT_EQ(StatusOf(40), SwitchStatus::Queued);
    EXPECT_EQ(counter.records, 1);  // the two further clicks on the queued switch change nothing
    EXPECT_EQ(plant.PumpHandover[0], 40);
}

TEST_F(RandomDecisionTest, NothingToDoWithoutWaterOrInInteractiveMode)
{
    engine.RandomDecision();
    EXPECT_TRUE(OnSwitches().empty());
    Water(4, 10);
    plant.DecisionMethod = 0;
    engine.RandomDecision();
    EXPECT_TRUE(OnSwitches().empty());
}

TEST_F(RandomDecisionTest, SameSeedSameClicksAndEveryTankEquallyLikely)
{
    std::map<int, int> firstPick;
    const int runs = 23000;
    for (int run = 0; run < runs; ++run) {
        plant = PlantState{};
        plant.DecisionMethod = 1;
        for (int t = 0; t < TankCount; ++t) Water(t, 5);
        plant.PumpsInUseShown = 4;  // room for a single click
        engine.RandomDecision();
        const auto on = OnSwitches();
        ASSERT_EQ(on.size(), 1u);
        ++firstPick[on[0] / 2];
    }
    ASSERT_EQ(firstPick.size(), 23u);
    for (auto [tank, count] : firstPick) {
        EXPECT_GT(count, 800) << "tank " << tank;
        EXPECT_LT(count, 1200) << "tank " << tank;
    }

    auto clicksWithSeed = [&](std::uint64_t seed) {
        plant = PlantState{};
        plant.DecisionMethod = 1;
        for (int t = 0; t < TankCount; ++t) Water(t, 5);
        engine.random().Seed(seed);
        engine.RandomDecision();
        return OnSwitches();
    };
    EXPECT_EQ(clicksWithSeed(7), clicksWithSeed(7));
    EXPECT_NE(clicksWithSeed(7), clicksWithSeed(8));
}

}  // namespace
}  // namespace kestu::testing
