// The engine on its own: what the reference trials, which pin ordinary
// trials with their pump cycles, handovers, queues and counts, may not reach:
// the clock past an hour, the display calls, a full queue, and the Random method.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace kestu::testing {
namespace {

// Records the display calls the engine makes.
struct RecordingDisplay : Display {
    std::vector<std::string> calls;
    void FillTank(int num, long long amount) override
    {
        calls.push_back("FillTank " + std::to_string(num) + " " + std::to_string(amount));
    }
    void PipeWater(int region, bool visible) override
    {
        calls.push_back("PipeWater " + std::to_string(region) + (visible ? " on" : " off"));
    }
};

// An engine with an empty plant, ticked one second at a time: its steps in
// the tick's order, without the deadlines the trial layer judges.
class EngineTest : public ::testing::Test {
protected:
    Engine engine;
    PlantState& plant = engine.plant;
    RecordingDisplay display;

    void SetUp() override
    {
        engine.SetDisplay(&display);
    }

    void Tick(int count = 1)
    {
        for (int k = 0; k < count; ++k) {
            ++plant.ElapsedTicks;
            engine.AutoAddWater();
            engine.PumpCycle();
            engine.NextSimTime();
            engine.PumpsInUse_Display();
            engine.RandomDecision();
        }
    }

    void Water(int tank, double amount) { plant.Tanks[tank].Water = amount; }
    SwitchStatus StatusOf(int s) const { return engine.GetSwitchStatus(s); }
};

// The clock carries into minutes past an hour. Halves arriving a second apart
// add up to a whole bucket, which the tank then shows.
TEST_F(EngineTest, ClockCarriesAndArrivalsAccumulate)
{
    plant.Clock = {59, 59};
    engine.NextSimTime();
    EXPECT_EQ(plant.Clock, (ClockTime{60, 0}));
    EXPECT_EQ(FormatClock({123, 9}), "123:09");

    ArrivalRow a{{60, 0}, {}}, b{{60, 1}, {}};
    a.Water[9] = 0.5;
    b.Water[9] = 0.5;
    engine.SetArrivals({a, b}, 0);
    Tick(2);
    EXPECT_EQ(plant.Tanks[9].Water, 1.0);
    EXPECT_NE(std::find(display.calls.begin(), display.calls.end(), "FillTank 9 0"), display.calls.end());
    EXPECT_NE(std::find(display.calls.begin(), display.calls.end(), "FillTank 9 1"), display.calls.end());
}

// A click shows its tank's pipe; with five pumps out and none cleaning it
// changes nothing. (The queue behind a cleaning pump, the whole-bucket rule
// and clicks on cleaning or queued switches are the reference trials'.)
TEST_F(EngineTest, AClickWithFivePumpsOutAndNoneCleaningChangesNothing)
{
    for (int t = 0; t < 6; ++t) Water(t, 50);
    for (int t = 0; t < 5; ++t) engine.Switch_Click(2 * t);
    EXPECT_EQ(display.calls.back(), "PipeWater 4 on");
    const PlantState full = plant;
    engine.Switch_Click(10);
    EXPECT_EQ(StatusOf(10), SwitchStatus::Off);
    EXPECT_EQ(std::tuple(plant.PumpsAllocated, plant.PumpsInUseShown), std::tuple(5, 5));
    EXPECT_EQ(plant.PumpHandover, full.PumpHandover);
}

// A tank's pipe stops only when neither of its switches pumps, whether a
// click or a dry tank ends the pumping.
TEST_F(EngineTest, PipeKeepsFlowingWhileThePartnerPumps)
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
    EXPECT_EQ(display.calls, std::vector<std::string>{"PipeWater 4 off"});
}

// Five pumps never fill the ten slots, so no trial reaches a full queue.
TEST_F(EngineTest, CleaningQueueKeepsOldestFirstAndDropsWhenFull)
{
    EXPECT_EQ(engine.DequeueCleaning(), -1);
    for (int s = 0; s < 11; ++s) engine.EnqueueCleaning(s);
    EXPECT_EQ(plant.CleaningQueue[9], 9);
    EXPECT_EQ(engine.DequeueCleaning(), 0);
    EXPECT_EQ(std::tuple(plant.CleaningQueue[0], plant.CleaningQueue[9]), std::tuple(1, -1));
}

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

// Without water, or with one eligible tank, the draws stop when nothing is
// left to click. (That Interactive trials draw nothing is the reference trials'.)
TEST_F(RandomDecisionTest, StopsWhenNoTankIsEligible)
{
    engine.RandomDecision();
    EXPECT_TRUE(OnSwitches().empty());
    Water(12, 4);
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

    struct Counter : PlantEvents {
        int records = 0;
        void SwitchClicked(const PlantState&, int, SwitchStatus) override { ++records; }
    } counter;
    engine.SetEvents(&counter);
    plant.TrialLogOn = true;
    engine.RandomDecision();
    EXPECT_EQ(StatusOf(40), SwitchStatus::Queued);
    EXPECT_EQ(counter.records, 1);  // the two further clicks on the queued switch change nothing
    EXPECT_EQ(plant.PumpHandover[0], 40);
    plant.TrialLogOn = false;
    Water(21, 5);
    engine.Switch_Click(42);
    EXPECT_EQ(StatusOf(42), SwitchStatus::Queued);
    EXPECT_EQ(counter.records, 2) << "every click is told; what the log records is the trial's business";
}

TEST_F(RandomDecisionTest, SameSeedSameClicksAndEveryTankEquallyLikely)
{
    auto clicks = [&](int shown, std::optional<std::uint64_t> seed = {}) {
        plant = PlantState{};
        plant.DecisionMethod = 1;
        for (int t = 0; t < TankCount; ++t) Water(t, 5);
        plant.PumpsInUseShown = shown;
        if (seed) engine.random().Seed(*seed);
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
    EXPECT_EQ(clicks(0, 7), clicks(0, 7));
    EXPECT_NE(clicks(0, 7), clicks(0, 8));
}

}  // namespace
}  // namespace kestu::testing
