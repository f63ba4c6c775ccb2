#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "data/experiment_db.h"
#include "trials/headless_trial.h"

namespace kestu {
namespace {

// The Random method clicks only between ticks and at setup, so replaying any
// of its trials must end exactly as the trial ended.
TEST(RandomTrialReplay, SeededTrialsOfTheStandardScenarioReplayToTheSameResults)
{
    QTemporaryDir dir;
    const std::string dbPath = dir.filePath("KESTU.MDB").toStdString();
    ASSERT_TRUE(ExperimentDb::Create(dbPath, NewDbContent::StandardScenario).ok());
    auto db = ExperimentDb::Open(dbPath, OpenMode::ReadOnly);
    ASSERT_TRUE(db.ok()) << db.error();
    auto tables = db.value()->ReadScenario();
    ASSERT_TRUE(tables.ok()) << tables.error();

    for (std::uint64_t seed : {1u, 2u, 3u, 17u, 99u, 2026u}) {
        QTemporaryDir trialDir, replayDir;
        HeadlessOptions options;
        options.seed = seed;
        options.logFolder = trialDir.path().toStdString();
        options.userId = "r";
        const TrialOutcome trial = RunHeadlessTrial(tables.value(), options);
        ASSERT_GT(trial.ticks, 400);
        const ReplayOutcome replay =
            ReplayLogFile(tables.value(), options.logFolder + "/r.1", replayDir.path().toStdString());
        ASSERT_FALSE(replay.fault.has_value()) << "seed " << seed;
        EXPECT_FALSE(replay.endedByStop);
        EXPECT_EQ(replay.trial.missed.Total, trial.missed.Total) << "seed " << seed;
        EXPECT_EQ(replay.trial.missed.PerTank, trial.missed.PerTank) << "seed " << seed;
        EXPECT_EQ(replay.trial.plant.BusyPumpTicks, trial.plant.BusyPumpTicks) << "seed " << seed;
        EXPECT_EQ(replay.trial.plant.SweepPumpTicks, trial.plant.SweepPumpTicks) << "seed " << seed;
        EXPECT_EQ(replay.trial.plant.ElapsedTicks, trial.plant.ElapsedTicks) << "seed " << seed;
        EXPECT_GT(trial.missed.Total, 0);
    }
}

}  // namespace
}  // namespace kestu
