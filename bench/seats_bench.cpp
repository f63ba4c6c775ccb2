// Seats of a lab on one PostgreSQL server: 1, 4, 16 and 32 seats (threads,
// each with its own connection and participant) run whole headless trials
// back to back for a few seconds. Prints the trials committed per second and
// the 50th and 99th percentile of a trial's claim-and-row round trip.
// Target: 32 seats at 200 trials/s or more, the 99th percentile under 50 ms.
// Then 32 seats again with each seat's status reporter on (its own thread and
// connection writing the seat's row of "SeatStatus"), in turns with runs
// with reports off; target: trials/s with reports on within 10 % of off.
// Starts a throw-away cluster of its own (tests/support/pg_cluster.sh).
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "data/db_experiment_store.h"
#include "data/experiment_db.h"
#include "data/seat_reporter.h"
#include "ui/fault_words.h"
#include "trials/headless_trial.h"
#include "trials/trial_session.h"

namespace {

using Clock = std::chrono::steady_clock;

// Times every claim of the trials run through it.
class TimedStore : public kestu::DbExperimentStore {
public:
    using DbExperimentStore::DbExperimentStore;
    kestu::Result<long long> ClaimTrial(const kestu::ExperimentStart& row) override
    {
        const auto start = Clock::now();
        auto claimed = DbExperimentStore::ClaimTrial(row);
        claims.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        return claimed;
    }
    std::vector<double> claims;
};

struct Round {
    int trials = 0;
    std::vector<double> claims;
};

Round RunSeats(const std::string& url, int seats, double seconds, int round, bool reports = false)
{
    Round total;
    std::mutex merge;
    std::atomic<bool> failed{false};
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    std::vector<std::thread> threads;
    for (int s = 0; s < seats; ++s) {
        threads.emplace_back([&, s] {
            QTemporaryDir logs;
            kestu::ParticipantState participant;
            participant.UserID = "r" + std::to_string(round) + "s" + std::to_string(s);
            {
                auto db = kestu::ExperimentDb::Open(url, kestu::OpenMode::ReadWrite);
                if (!db || !db.value()->AddParticipant({participant.UserID}).ok()) failed = true;
            }
            TimedStore store(url, {});
            std::unique_ptr<kestu::SeatReporter> reporter;
            if (reports) {
                reporter = std::make_unique<kestu::SeatReporter>(
                    kestu::SeatReporterSettings{.location = url, .seat = "bench-" + std::to_string(s)});
                reporter->Idle(participant.UserID);
            }
            int done = 0;
            while (!failed && Clock::now() < until) {
                // RunParticipantTrial's own steps, with the reporter watching.
                kestu::TrialSession session(participant, store, logs.path().toStdString());
                session.decisionChoice = 1;
                session.engine.random().Seed(done + 1);
                if (reporter) session.observers.Add(reporter.get());
                const auto run = kestu::RunSessionTrial(session, 1000000);
                if (reporter) session.observers.Remove(reporter.get());
                if (!run.completed) {
                    if (!run.faults.empty()) std::fprintf(stderr, "%s\n", kestu::FaultSentence(run.faults.front()).c_str());
                    failed = true;
                }
                ++done;
            }
            if (reporter) {
                reporter->Stop();
                if (reporter->tally().written == 0 || reporter->tally().failed != 0) {
                    std::fprintf(stderr, "bench_seats: seat %d wrote %lld reports, %lld failed\n", s,
                                 reporter->tally().written, reporter->tally().failed);
                    failed = true;
                }
            }
            std::lock_guard<std::mutex> lock(merge);
            total.trials += done;
            total.claims.insert(total.claims.end(), store.claims.begin(), store.claims.end());
        });
    }
    for (std::thread& t : threads) t.join();
    if (failed) total.trials = -1;
    return total;
}

double Percentile(std::vector<double> values, double share)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()))];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir cluster;
    const std::string state = cluster.path().toStdString() + "/pg";
    const std::string script = KESTU_PG_SCRIPT;
    if (std::system(("bash '" + script + "' start '" + state + "' >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "bench_seats: the PostgreSQL server cannot be started\n");
        return 1;
    }
    std::string url;
    std::getline(std::ifstream(state + "/url"), url);
    int status = 0;
    if (!kestu::ExperimentDb::Create(url, kestu::NewDbContent::StandardScenario).ok()) status = 1;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    std::printf("%6s %12s %10s %10s\n", "seats", "trials/s", "claim p50", "claim p99");
    int round = 0;
    for (int seats : {1, 4, 16, 32}) {
        if (status != 0) break;
        const Round r = RunSeats(url, seats, seconds, ++round);
        if (r.trials < 0) {
            status = 1;
            break;
        }
        std::printf("%6d %12.1f %8.2f ms %8.2f ms\n", seats, r.trials / seconds, Percentile(r.claims, 0.5),
                    Percentile(r.claims, 0.99));
    }
    // Reports off and on in turns, so that both see the same server and machine.
    if (status == 0) {
        constexpr int Turns = 3;
        double off = 0, on = 0;
        for (int turn = 0; turn < Turns && status == 0; ++turn) {
            for (bool reports : {false, true}) {
                const Round r = RunSeats(url, 32, seconds, ++round, reports);
                if (r.trials < 0) {
                    status = 1;
                    break;
                }
                std::printf("32 seats, reports %-3s %12.1f trials/s\n", reports ? "on" : "off", r.trials / seconds);
                (reports ? on : off) += r.trials / seconds / Turns;
            }
        }
        if (status == 0)
            std::printf("32 seats, reports off %.1f trials/s, on %.1f trials/s: on/off %.3f\n", off, on, on / off);
    }
    std::system(("bash '" + script + "' stop '" + state + "' >/dev/null").c_str());
    return status;
}
