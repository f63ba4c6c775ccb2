#include <functional>
#include <iomanip>
#include <limits>
#include <sstream>
#include <thread>

#include "analysis/baseline_runner.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "analysis/plain_number.h"
#include "analysis/distribution.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/progress_bar.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

constexpr long long MaxTrials = 100000000;
constexpr int MaxJobs = 256;

void PrintRow(std::ostream& out, const std::string& name, const Distribution& d, int decimals)
{
    out << std::left << std::setw(16) << name << std::right << std::fixed << std::setprecision(decimals);
    for (double v : {d.mean, d.sd, d.min, d.q1, d.median, d.q3, d.max}) out << std::setw(12) << v;
    out << "\n";
}

int RunBaselineCommand(const ParsedArgs& args, Console& console)
{
    const auto trialsText = args.Value("--trials");
    if (!trialsText) return UsageError(args, console, "missing --trials N");
    const auto trials = ParseWhole(*trialsText, 1, MaxTrials);
    if (!trials) return UsageError(args, console, "--trials is a whole number 1.." + std::to_string(MaxTrials));
    const auto seed = ParseWhole(args.Value("--seed").value_or("1"), 0, std::numeric_limits<long long>::max());
    if (!seed) return UsageError(args, console, "--seed is a whole number 0 or more");
    const int defaultJobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const auto jobs = ParseWhole(args.Value("--jobs").value_or(std::to_string(defaultJobs)), 1, MaxJobs);
    if (!jobs) return UsageError(args, console, "--jobs is a whole number 1.." + std::to_string(MaxJobs));

    auto tables = LoadScenario(args.Positional(0), console);
    if (!tables) return Failure(args, console, tables.error());

    ProgressBar progress(console, "trials", *trials);
    std::function<void(long long)> report;
    if (console.showProgress) report = [&](long long done) { progress.Update(done); };
    const auto results =
        RunBaseline(tables.value(), *trials, static_cast<std::uint64_t>(*seed), static_cast<int>(*jobs), report);
    progress.Finish();

    std::vector<double> missed, busy, cleaning, idle;
    for (const BaselineTrial& trial : results) {
        missed.push_back(static_cast<double>(trial.missedBuckets));
        if (!trial.shares) continue;  // a trial with no counted tick has no shares
        busy.push_back(trial.shares->BusyTime);
        cleaning.push_back(trial.shares->SweepTime);
        idle.push_back(trial.shares->IdleTime);
    }

    std::ostringstream out;
    out << "Random method, " << *trials << " trials of " << args.Positional(0) << ", seed " << *seed << "\n\n"
        << std::left << std::setw(16) << "" << std::right;
    for (const char* column : {"mean", "sd", "min", "q1", "median", "q3", "max"}) out << std::setw(12) << column;
    out << "\n";
    PrintRow(out, "missed buckets", Describe(missed), 2);
    PrintRow(out, "busy share", Describe(busy), 4);
    PrintRow(out, "cleaning share", Describe(cleaning), 4);
    PrintRow(out, "idle share", Describe(idle), 4);
    if (busy.size() < results.size()) {
        out << "(" << results.size() - busy.size() << " trials counted no tick and have no shares)\n";
    }
    console.out << out.str();
    return ExitOk;
}

}  // namespace

const Command BaselineCommand{
    "baseline",
    "baseline DB --trials N [--seed S] [--jobs J]",
    "Score N trials of the Random method: the chance baseline.",
    "Runs N whole trials of DB's scenario with the Random method, each headless\n"
    "from start to end; nothing is written to the database or to trial logs.\n"
    "Printed: mean, standard deviation, minimum, quartiles and maximum of the\n"
    "missed buckets and of the busy, cleaning and idle shares of the pump\n"
    "capacity: what a participant who clicks at random would score. Trial i's\n"
    "seed comes from S (default 1) and i alone, so the same S gives the same\n"
    "numbers for any J (default: one job per core).\n\n"
    "Example:\n"
    "  kestuctl baseline KESTU.MDB --trials 10000 --seed 7\n",
    {{"DB"}, 1, {"--trials", "--seed", "--jobs"}, {}},
    RunBaselineCommand,
};

}  // namespace kestu::ctl
