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

// Tanks 0..2 pump on their odd switches; two more tanks are drawn, each on its
// even switch, and no tank twice.
TEST_F(RandomDecisionTest, FillsUpToFivePumpsOnEvenSwitchesOfDifferentTanks)
{
    for (int t : {0, 1, 2}) Water(t, 10), engine.Switch_Click(2 * t + 1);
    for (int t : {5, 6, 7, 8, 9, 10}) Water(t, 10);
    engine.PumpsInUse_Display();
    engine.RandomDecision();
    const auto on = OnSwitches();
    ASSERT_EQ(on.size(), 5u);
    std::set<int> tanks;
    for (int s : on) {
        EXPECT_TRUE(s < 6 || s % 2 == 0) << s;
        tanks.insert(s / 2);
    }
    EXPECT_EQ(tanks.size(), 5u);
    EXPECT_EQ(plant.PumpsInUseShown, 5);
}

// Without water, with one eligible tank, or in Interactive mode the draws stop
// when nothing is left to click.
TEST_F(RandomDecisionTest, StopsWhenNoTankIsEligibleAndNeverInInteractiveMode)
{
    engine.RandomDecision();
    EXPECT_TRUE(OnSwitches().empty());
    Water(12, 4);
    engine.RandomDecision();
    EXPECT_EQ(OnSwitches(), std::vector<int>{24});
    Water(4, 10);
    plant.DecisionMethod = 0;
    engine.PumpsInUse_Display();
    engine.RandomDecision();
    EXPECT_EQ(OnSwitches(), std::vector<int>{24});
}

TEST_F(RandomDecisionTest, QueuedTankIsDrawnAgainAndTheCallEndsAfterThreeClicks)
{
    // Five pumps allocated, three cleaning and unpromised: the label shows 2.
    for (int t = 0; t < 5; ++t) Water(t, 10), engine.Switch_Click(2 * t);
    for (int t = 0; t < 3; ++t) engine.Switch_Click(2 * t);
    plant.PumpsReleasing = 3;
    engine.PumpsInUse_Display();
    ASSERT_EQ(plant.PumpsInUseShown, 2);
    for (int t = 0; t < 5; ++t) Water(t, 0);
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
    plant.TrialLogOn = false;
    Water(21, 5);
    engine.Switch_Click(42);
    EXPECT_EQ(StatusOf(42), SwitchStatus::Queued);
    EXPECT_EQ(counter.records, 1) << "a click is recorded only while the trial logs";
}

TEST_F(RandomDecisionTest, SameSeedSameClicksAndEveryTankEquallyLikely)
{
    auto clicks = [&](int shown) {
        plant = PlantState{};
        plant.DecisionMethod = 1;
        for (int t = 0; t < TankCount; ++t) Water(t, 5);
        plant.PumpsInUseShown = shown;
        engine.RandomDecision();
        return OnSwitches();
    };
    std::map<int, int> firstPick;
    for (int run = 0; run < 23000; ++run) {
        const auto on = clicks(4);  // room for a single click
        ASSERT_EQ(on.size(), 1u);
        ++firstPick[on[0] / 2];
    }
    ASSERT_EQ(firstPick.size(), 23u);
    for (auto [tank, count] : firstPick) EXPECT_TRUE(count > 800 && count < 1200) << "tank " << tank << ": " << count;

    auto withSeed = [&](std::uint64_t seed) {
        engine.random().Seed(seed);
        return clicks(0);
    };
    EXPECT_EQ(withSeed(7), withSeed(7));
    EXPECT_NE(withSeed(7), withSeed(8));
}

}  // namespace
}  // namespace kestu::testing
