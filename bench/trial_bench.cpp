// Whole Random-method trials of the standard scenario with a display that
// does nothing, and the cost of one trial-log record.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "data/experiment_db.h"
#include "trials/headless_trial.h"
#include "trials/trial_log.h"
#include "standard_scenario.h"

namespace {


void BM_WholeRandomTrial(benchmark::State& state)
{
    const auto& tables = StandardScenario();
    kestu::HeadlessOptions options;
    long long ticks = 0;
    for (auto _ : state) {
        ++options.seed;
        const auto outcome = kestu::RunHeadlessTrial(tables, options);
        ticks += outcome.ticks;
        benchmark::DoNotOptimize(outcome.missed.Total);
    }
    state.counters["ticks_per_second"] = benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
    state.counters["trials_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WholeRandomTrial)->Unit(benchmark::kMicrosecond);

void BM_LogRecord(benchmark::State& state)
{
    QTemporaryDir dir;
    kestu::TrialLogWriter log;
    if (!log.Create(dir.filePath("bench.1").toStdString())) std::abort();
    kestu::PlantState plant;
    for (int t = 0; t < kestu::TankCount; ++t) plant.Tanks[t].Water = 12.345 * t + 0.35;
    plant.Clock.Minutes = 5;
    plant.Clock.Seconds = 23;
    for (auto _ : state) log.WriteSwitchRecord(plant, kestu::SwitchStatus::On, 17);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogRecord);

}  // namespace

BENCHMARK_MAIN();
