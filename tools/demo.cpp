// kestu-demo: runs the database's scenario once with the Random method,
// headless, writes its trial log and prints the plant at the end.
//
//   kestu-demo [--db FILE] [--out DIR] [--seed N]
#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/experiment_db.h"
#include "scenario/deadlines.h"
#include "trials/headless_trial.h"
#include "trials/trial_log.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string programDir = QCoreApplication::applicationDirPath().toStdString();
    std::string dbPath = kestu::ExperimentDb::DefaultPath(programDir);
    kestu::HeadlessOptions options;
    options.logFolder = programDir;
    options.userId = "demo";
    options.seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--db")) dbPath = argv[i + 1];
        else if (!std::strcmp(argv[i], "--out")) options.logFolder = argv[i + 1];
        else if (!std::strcmp(argv[i], "--seed")) options.seed = std::stoull(argv[i + 1]);
        else {
            std::fprintf(stderr, "usage: kestu-demo [--db FILE] [--out DIR] [--seed N]\n");
            return 2;
        }
    }

    auto db = kestu::ExperimentDb::Open(dbPath, kestu::OpenMode::ReadOnly);
    if (!db) {
        std::fprintf(stderr, "kestu-demo: %s\n", db.error().c_str());
        return 1;
    }
    auto tables = db.value()->ReadScenario();
    if (!tables) {
        std::fprintf(stderr, "kestu-demo: %s\n", tables.error().c_str());
        return 1;
    }

    const kestu::TrialOutcome out = kestu::RunHeadlessTrial(tables.value(), options);
    const kestu::PlantState& p = out.plant;
    std::printf("Random method, seed %llu: %lld ticks, clock %s\n", static_cast<unsigned long long>(options.seed),
                out.ticks, kestu::FormatClock(p.SimMinutes, p.SimSeconds).c_str());
    std::printf("trial log: %s/%s\n", options.logFolder.c_str(), kestu::TrialLogFileName(options.userId, 1).c_str());
    std::printf("missed buckets %lld\n", out.missed.Total);
    std::printf("pumps in use %d (allocated %d, releasing %d)\n", p.PumpsInUseShown, p.PumpsAllocated,
                p.PumpsReleasing);
    std::printf("busy pump-ticks %lld, cleaning pump-ticks %lld\n", static_cast<long long>(p.BusyPumpTicks),
                static_cast<long long>(p.SweepPumpTicks));
    if (out.shares)
        std::printf("shares: busy %.4f, cleaning %.4f, idle %.4f\n", out.shares->BusyTime, out.shares->SweepTime,
                    out.shares->IdleTime);
    for (int t = 0; t < kestu::TankCount; ++t) {
        std::printf("tank %2d: %10.3f buckets", t, p.Tanks[t].Water);
        if (out.missed.PerTank[t]) std::printf("   missed %d", *out.missed.PerTank[t]);
        std::printf("\n");
    }
    return 0;
}
