#include "analysis/baseline_runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "trials/headless_trial.h"

namespace kestu::analysis {

std::uint64_t TrialSeed(std::uint64_t baseSeed, std::uint64_t index)
{
    std::uint64_t z = baseSeed + index + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::vector<BaselineTrial> RunBaseline(const ScenarioTables& tables, long long trials, std::uint64_t baseSeed,
                                       int jobs, const std::function<void(long long)>& progress)
{
    std::vector<BaselineTrial> results(static_cast<std::size_t>(std::max(trials, 0LL)));
    std::atomic<long long> next{0};
    std::atomic<long long> done{0};
    auto work = [&] {
        HeadlessOptions options;  // Random method, no log folder: nothing is written
        for (long long i = next++; i < trials; i = next++) {
            options.seed = TrialSeed(baseSeed, static_cast<std::uint64_t>(i));
            const TrialOutcome outcome = RunHeadlessTrial(tables, options);
            results[static_cast<std::size_t>(i)] = {outcome.missed.Total, outcome.shares};
            ++done;
        }
    };

    const int threads = static_cast<int>(std::clamp<long long>(jobs, 1, std::max(trials, 1LL)));
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) workers.emplace_back(work);
    if (progress) {
        // The calling thread reports while the workers run; it takes no trials itself.
        workers.emplace_back(work);
        while (done < trials) {
            progress(done);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        progress(done);
    } else {
        work();
    }
    for (std::thread& worker : workers) worker.join();
    return results;
}

}  // namespace kestu::analysis
