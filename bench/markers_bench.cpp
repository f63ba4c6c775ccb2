// What the LSL markers add to a tick. Whole Random-method trials of the
// standard scenario are ticked through the session, each tick timed, three
// ways: without markers; with the marker outlet whose push only takes the
// marker off the queue ("queue only": the clock read at the event, the
// queue, the text written on the outlet's thread); and, with --lsl, with the
// real library's stream (KESTU_LSL_LIBRARY or liblsl.so) pushing every
// marker. --lsl runs only in a network namespace of its own with nothing
// but the loopback interface (`unshare -n`, then `ip link set lo up`), since
// LSL's discovery multicasts; elsewhere it refuses. Printed per way: the
// mean, 99th percentile and worst tick, the mean added to a tick against
// no markers, and the time one marker event takes on the tick's path.
// Target: under 50 us added to a tick.
// Usage: bench_markers [--lsl] [--trials N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "data/experiment_db.h"
#include "markers/lsl_library.h"
#include "markers/marker_outlet.h"
#include "trials/headless_trial.h"
#include "standard_scenario.h"

namespace {

using Clock = std::chrono::steady_clock;


// Times each marker event as the session tells it, on the tick's path.
class TimedObserver : public kestu::TrialObserver {
public:
    explicit TimedObserver(kestu::TrialObserver& inner) : inner_(inner) {}
    void OnTrialEvent(const kestu::TrialEvent& event) override
    {
        const auto began = Clock::now();
        inner_.OnTrialEvent(event);
        spent_ += Clock::now() - began;
        ++events_;
    }
    kestu::TrialEventKinds Wanted() const override { return inner_.Wanted(); }
    double MeanMicroseconds() const
    {
        return events_ ? std::chrono::duration<double, std::micro>(spent_).count() / static_cast<double>(events_) : 0;
    }
    long long events() const { return events_; }

private:
    kestu::TrialObserver& inner_;
    Clock::duration spent_{};
    long long events_ = 0;
};

struct Run {
    std::vector<double> ticks;  // microseconds each
    double perEvent = 0;        // microseconds per marker event
    long long events = 0;
};

Run RunTrials(int trials, kestu::TrialObserver* markers)
{
    Run run;
    std::unique_ptr<TimedObserver> timed;
    if (markers) timed = std::make_unique<TimedObserver>(*markers);
    for (int n = 0; n < trials; ++n) {
        kestu::MemoryStore store(StandardScenario());
        kestu::ParticipantState participant;
        participant.UserID = "bench";
        participant.TrialNum = n;
        kestu::TrialSession session(participant, store, std::string());
        session.writeTrialLog = false;
        session.decisionChoice = 1;
        session.engine.random().Seed(static_cast<std::uint64_t>(n + 1));
        if (timed) session.observers.Add(timed.get());
        if (!session.trial.LoadPlant() || !session.trial.SetUpTrial()) std::abort();
        session.trial.StartOrStop();
        while (session.Ticking()) {
            const auto began = Clock::now();
            session.Tick();
            run.ticks.push_back(std::chrono::duration<double, std::micro>(Clock::now() - began).count());
        }
        session.CloseWindow();
        if (timed) session.observers.Remove(timed.get());
    }
    if (timed) {
        run.perEvent = timed->MeanMicroseconds();
        run.events = timed->events();
    }
    return run;
}

struct Figures {
    double mean = 0, p99 = 0, worst = 0;
};

Figures FiguresOf(std::vector<double> ticks)
{
    Figures f;
    for (double t : ticks) f.mean += t / static_cast<double>(ticks.size());
    std::sort(ticks.begin(), ticks.end());
    f.p99 = ticks[ticks.size() * 99 / 100];
    f.worst = ticks.back();
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    bool lsl = false;
    int trials = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--lsl") {
            lsl = true;
        } else if (arg == "--trials" && i + 1 < argc) {
            trials = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: bench_markers [--lsl] [--trials N]\n");
            return 2;
        }
    }
    std::shared_ptr<const kestu::markers::LslLibrary> library;
    if (lsl) {
        std::string problem;
        if (!kestu::markers::OnlyLoopbackNetwork(problem)) {
            std::fprintf(stderr, "bench_markers: --lsl refused: %s; run it under unshare -n with only lo up\n",
                         problem.c_str());
            return 1;
        }
        library = kestu::markers::LslLibrary::Load(problem);
        if (!library) {
            std::fprintf(stderr, "bench_markers: %s\n", problem.c_str());
            return 1;
        }
    }

    const auto now = [] { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); };
    std::printf("%-22s %7s %9s %9s %9s %9s %11s %9s\n", "markers", "ticks", "mean", "p99", "worst", "added",
                "per event", "pushed");
    const Run plain = RunTrials(trials, nullptr);
    const Figures base = FiguresOf(plain.ticks);
    const auto print = [&](const char* name, const Run& run, long long pushed) {
        const Figures f = FiguresOf(run.ticks);
        std::printf("%-22s %7zu %6.2f us %6.2f us %6.1f us %+6.2f us %8.2f us %9lld\n", name, run.ticks.size(), f.mean,
                    f.p99, f.worst, f.mean - base.mean, run.perEvent, pushed);
    };
    print("none", plain, 0);

    kestu::markers::MarkerOutlet queueOnly({.now = now, .push = [](const std::string&, double) { return true; }});
    const Run queued = RunTrials(trials, &queueOnly);
    queueOnly.Stop();
    print("queue only", queued, queueOnly.tally().pushed);

    if (library) {
        std::string problem;
        auto outlet = kestu::markers::MarkerOutlet::OpenLsl(
            library, {.seat = "bench", .version = {}, .participant = "bench", .study = "bench"}, problem);
        if (!outlet) {
            std::fprintf(stderr, "bench_markers: %s\n", problem.c_str());
            return 1;
        }
        const Run pushedRun = RunTrials(trials, outlet.get());
        outlet->Stop();
        print(("lsl " + library->Version()).c_str(), pushedRun, outlet->tally().pushed);
        if (outlet->tally().failed != 0) std::fprintf(stderr, "bench_markers: %lld pushes failed\n", outlet->tally().failed);
    }
    return 0;
}
