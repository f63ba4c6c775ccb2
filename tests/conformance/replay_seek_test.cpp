// Seeking a replay: any tick of a reference trial with a save and a restore,
// in any order, shows exactly what playing straight there shows.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <random>
#include <vector>

#include "conformance/case_runner.h"
#include "trials/file_sink.h"
#include "trials/headless_trial.h"
#include "trials/trial_session.h"

namespace kestu::testing {
namespace {

struct Moment {
    PlantState plant;
    long long missed = 0;
    bool snapshotHeld = false;
    long long tick = 0;
};

Moment MomentOf(const TrialSession& session)
{
    return {session.plant(), session.missed.Total, session.snapshotPending, session.ticksLived};
}

// Everything of the plant a replay shows or goes on from.
void ExpectSame(const Moment& seen, const Moment& played)
{
    const PlantState &a = seen.plant, &b = played.plant;
    EXPECT_EQ(seen.tick, played.tick);
    EXPECT_EQ(a.Clock, b.Clock);
    EXPECT_EQ(seen.missed, played.missed);
    EXPECT_EQ(seen.snapshotHeld, played.snapshotHeld);
    for (int t = 0; t < TankCount; ++t) {
        EXPECT_EQ(a.Tanks[t].Water, b.Tanks[t].Water) << "tank " << t;
        EXPECT_EQ(a.Tanks[t].ExpectAmt, b.Tanks[t].ExpectAmt) << "tank " << t;
    }
    EXPECT_EQ(a.Status, b.Status);
    EXPECT_EQ(a.PumpState, b.PumpState);
    EXPECT_EQ(a.PumpHandover, b.PumpHandover);
    EXPECT_EQ(a.SwitchTick, b.SwitchTick);
    EXPECT_EQ(a.CleaningQueue, b.CleaningQueue);
    EXPECT_EQ(a.PumpsInUseShown, b.PumpsInUseShown);
    EXPECT_EQ(a.ElapsedTicks, b.ElapsedTicks);
    EXPECT_EQ(a.BusyPumpTicks, b.BusyPumpTicks);
}

class ReplaySeekTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string caseDir = std::string(KESTU_CONFORMANCE_DIR) + "/case_0202";
        std::vector<conformance::ScriptEvent> script;
        ASSERT_EQ(conformance::LoadCase(caseDir, tables, script), "");
        log = {"U.1", ReadWholeFile(caseDir + "/U.1").value()};
        ASSERT_NE(log.text.find("\"FFR\""), std::string::npos) << "the trial restores a snapshot";
    }
    std::unique_ptr<TrialSession> Loaded()
    {
        auto session = std::make_unique<TrialSession>(participant, store, std::string());
        EXPECT_TRUE(session->trial.LoadPlant());
        session->replay.LoadFrom(log, 1);
        EXPECT_EQ(session->phase, TrialPhase::ReplayLoaded);
        return session;
    }
    // The replay played straight through, the moment after every tick.
    std::vector<Moment> PlayedStraight()
    {
        auto session = Loaded();
        std::vector<Moment> moments{MomentOf(*session)};
        session->replay.Play();
        TickWhileRunning(*session, 100000, {.tickEnded = [&](long long, const PlantState&) {
                             moments.push_back(MomentOf(*session));
                         }});
        EXPECT_EQ(session->runEnd, RunEnd::AtEndTime);
        return moments;
    }

    ScenarioTables tables;
    TrialLogText log;
    MemoryStore store{ScenarioTables{}};
    ParticipantState participant{.UserID = "U", .TrialNum = 1, .ReplayMode = true};
};

TEST_F(ReplaySeekTest, EveryTickInAnyOrderIsWhatPlayingThereShows)
{
    store.tables = tables;
    const std::vector<Moment> played = PlayedStraight();
    ASSERT_GT(played.size(), 100u);
    std::vector<long long> ticks(played.size());
    std::iota(ticks.begin(), ticks.end(), 0);
    std::shuffle(ticks.begin(), ticks.end(), std::mt19937(7));
    auto session = Loaded();
    for (long long tick : ticks) {
        SCOPED_TRACE("tick " + std::to_string(tick));
        ASSERT_EQ(session->SeekReplay(tick), tick);
        ExpectSame(MomentOf(*session), played[static_cast<std::size_t>(tick)]);
        const bool last = tick + 1 == static_cast<long long>(played.size());
        EXPECT_EQ(session->phase, last ? TrialPhase::ReplayEnded : tick == 0 ? TrialPhase::ReplayLoaded
                                                                             : TrialPhase::ReplayPaused);
        if (::testing::Test::HasFailure()) break;
    }
}

// Seeking while playing plays on from the new tick to the same end; the end
// reached by seeking is the console's ended state, figures offered.
TEST_F(ReplaySeekTest, PlayingGoesOnFromTheSoughtTickAndTheEndIsTheSameHoweverReached)
{
    store.tables = tables;
    const std::vector<Moment> played = PlayedStraight();
    auto session = Loaded();
    session->replay.Play();
    TickWhileRunning(*session, 30);
    ASSERT_EQ(session->SeekReplay(200), 200);
    EXPECT_TRUE(session->Ticking()) << "a replay sought while playing plays on";
    TickWhileRunning(*session, 100000);
    ExpectSame(MomentOf(*session), played.back());

    auto sought = Loaded();
    EXPECT_EQ(sought->SeekReplay(1000000), static_cast<long long>(played.size()) - 1);
    ExpectSame(MomentOf(*sought), played.back());
    EXPECT_EQ(sought->runEnd, RunEnd::AtEndTime);
    const Controls ended = sought->controls();
    EXPECT_TRUE(ended.DetailFBVisible && ended.PlayVisible && !ended.PlayEnabled && ended.StopEnabled);
    EXPECT_EQ(sought->SeekReplayToClock(played[40].plant.Clock), 40);
    EXPECT_FALSE(sought->SeekReplayToClock(ClockTime{59, 59}).has_value());
}

}  // namespace
}  // namespace kestu::testing
