// `kestuctl report` on a study of 40 participants with 12 trials each, every
// trial run with `kestuctl run-trial` (in-process), the baseline at its
// default of 2000 Random-method trials: how many seconds the whole command
// takes, database reading, replays, baseline and writing included.
// bench_report [--keep DIR] keeps the study and its report in DIR.
#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/report_html.h"
#include "data/experiment_db.h"
#include "kestuctl/command.h"

namespace {

constexpr int Participants = 40;
constexpr int TrialsEach = 12;
constexpr int Runs = 3;
constexpr double TargetSeconds = 5;

bool Run(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    if (kestu::ctl::RunCommand(args, out, err) == kestu::ctl::ExitOk) return true;
    std::cerr << "bench_report: kestuctl " << args.front() << " failed: " << err.str();
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir scratch;
    std::string folder = scratch.path().toStdString();
    if (argc == 3 && std::string(argv[1]) == "--keep") {
        folder = argv[2];
        std::filesystem::create_directories(folder);
    } else if (argc != 1) {
        std::cerr << "usage: bench_report [--keep DIR]\n";
        return 2;
    }
    const std::string db = folder + "/KESTU.MDB";
    if (!kestu::ExperimentDb::Create(db, kestu::NewDbContent::StandardScenario)) {
        std::cerr << "bench_report: cannot create " << db << "\n";
        return 1;
    }
    const auto made = std::chrono::steady_clock::now();
    for (int p = 1; p <= Participants; ++p) {
        const std::string user = "s" + std::to_string(p);
        for (int t = 1; t <= TrialsEach; ++t) {
            if (!Run({"run-trial", db, user, "--seed", std::to_string(p * 100 + t)})) return 1;
        }
    }
    const std::chrono::duration<double> making = std::chrono::steady_clock::now() - made;
    std::cout << "study: " << Participants << " participants x " << TrialsEach << " trials made with run-trial in "
              << kestu::analysis::FixedNumber(making.count(), 2) << " s\n";

    double best = 0;
    for (int run = 1; run <= Runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (!Run({"report", db, "--out", folder + "/report.html"})) return 1;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = run == 1 ? took.count() : std::min(best, took.count());
        std::cout << "report (baseline 2000 trials), run " << run << ": "
                  << kestu::analysis::FixedNumber(took.count(), 3) << " s\n";
    }
    std::cout << "report: best " << kestu::analysis::FixedNumber(best, 3) << " s of " << Runs << " (target under "
              << kestu::analysis::FixedNumber(TargetSeconds, 0) << " s), "
              << std::filesystem::file_size(folder + "/report.html") << " bytes\n";
    return best < TargetSeconds ? 0 : 1;
}
