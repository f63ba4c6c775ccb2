// Seeking a replay of a 480-tick Random-method trial of the standard
// scenario to random ticks: each seek replays the log from its start.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <random>

#include "data/experiment_db.h"
#include "trials/file_sink.h"
#include "trials/headless_trial.h"
#include "trials/trial_session.h"

namespace {

struct Recorded {
    kestu::ScenarioTables tables;
    kestu::TrialLogText log;
};

const Recorded& RecordedTrial()
{
    static const Recorded recorded = [] {
        QTemporaryDir dir;
        const std::string path = dir.filePath("KESTU.MDB").toStdString();
        if (!kestu::ExperimentDb::Create(path, kestu::NewDbContent::StandardScenario)) std::abort();
        auto db = kestu::ExperimentDb::Open(path, kestu::OpenMode::ReadOnly);
        Recorded r{db.value()->ReadScenario().value(), {}};
        kestu::HeadlessOptions options;
        options.logFolder = dir.path().toStdString();
        options.userId = "seek";
        kestu::RunHeadlessTrial(r.tables, options);
        r.log = {"seek.1", kestu::ReadWholeFile(options.logFolder + "/seek.1").value()};
        return r;
    }();
    return recorded;
}

void BM_SeekToRandomTick(benchmark::State& state)
{
    const Recorded& r = RecordedTrial();
    kestu::MemoryStore store(r.tables);
    kestu::ParticipantState participant{.UserID = "seek", .TrialNum = 1, .ReplayMode = true};
    kestu::TrialSession session(participant, store, std::string());
    if (!session.trial.LoadPlant()) std::abort();
    session.replay.LoadFrom(r.log, 1);
    std::mt19937 pick(3);
    std::uniform_int_distribution<long long> tick(0, 480);
    double worst = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(session.SeekReplay(tick(pick)));
        worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["worst_ms"] = worst;  // the slowest single seek
}
BENCHMARK(BM_SeekToRandomTick)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
