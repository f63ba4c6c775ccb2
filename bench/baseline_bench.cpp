// Whole Random-method trials per second through `kestuctl baseline`, on one
// and on two jobs: the command as an experimenter runs it, database read and
// summary included.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <sstream>
#include <string>

#include "data/experiment_db.h"
#include "kestuctl/command.h"

namespace {

constexpr long long TrialsPerRun = 2000;

void BM_BaselineCommand(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string db = dir.filePath("KESTU.MDB").toStdString();
    if (!kestu::ExperimentDb::Create(db, kestu::NewDbContent::StandardScenario)) {
        state.SkipWithError("cannot create the database");
        return;
    }
    const std::string jobs = std::to_string(state.range(0));
    const std::vector<std::string> args = {"baseline", db, "--trials", std::to_string(TrialsPerRun), "--seed", "1",
                                           "--jobs", jobs};
    for (auto _ : state) {
        std::ostringstream out, err;
        if (kestu::ctl::RunCommand(args, out, err) != kestu::ctl::ExitOk) {
            state.SkipWithError(err.str().c_str());
            return;
        }
        benchmark::DoNotOptimize(out.str());
    }
    const double trials = static_cast<double>(state.iterations() * TrialsPerRun);
    state.counters["trials_per_second"] = benchmark::Counter(trials, benchmark::Counter::kIsRate);
    state.counters["trials_per_second_per_job"] =
        benchmark::Counter(trials / static_cast<double>(state.range(0)), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BaselineCommand)->ArgName("jobs")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
