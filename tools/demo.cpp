// kestu-demo: runs the database's scenario once with the Random method,
// headless, writes its trial log and prints the plant at the end.
//
//   kestu-demo [--db FILE] [--out DIR] [--seed N]
#include <QCoreApplication>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "data/experiment_db.h"
#include "scenario/deadlines.h"
#include "trials/file_sink.h"
#include "trials/headless_trial.h"
#include "trials/message_text.h"
#include "trials/trial_log.h"
#include "ui/fault_words.h"

namespace {

constexpr const char* Usage = "usage: kestu-demo [--db FILE] [--out DIR] [--seed N]\n";

struct DemoOptions {
    std::optional<std::string> db;   // default: KESTU.MDB beside the program
    std::optional<std::string> out;  // default: the program's folder
    std::optional<std::uint64_t> seed;
    bool help = false;
};

int UsageError(const std::string& what)
{
    std::fprintf(stderr, "kestu-demo: %s\n%s", kestu::ForMessage(what).c_str(), Usage);
    return 2;
}

int Failure(const std::string& what)
{
    std::fprintf(stderr, "kestu-demo: %s\n", kestu::ForMessage(what, 8192).c_str());
    return 1;
}

// Empty when the command line was read into `options`, otherwise what is wrong with it.
std::string ParseDemoArgs(int argc, char** argv, DemoOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h") {
            options.help = true;
            continue;
        }
        if (word != "--db" && word != "--out" && word != "--seed") return "unknown argument \"" + std::string(word) + "\"";
        if (i + 1 == argc) return std::string(word) + " needs a value";
        const std::string value = argv[++i];
        if (word == "--db") {
            options.db = value;
        } else if (word == "--out") {
            options.out = value;
        } else {
            std::uint64_t seed = 0;
            const char* last = value.data() + value.size();
            const auto [end, ec] = std::from_chars(value.data(), last, seed);
            if (value.empty() || ec != std::errc{} || end != last) {
                return "--seed is a whole number 0..18446744073709551615, not \"" + value + "\"";
            }
            options.seed = seed;
        }
    }
    return {};
}

std::string ReadWhole(const std::string& path)
{
    auto text = kestu::ReadWholeFile(path);
    return text ? text.value() : std::string();
}

// Runs the trial with its log in a scratch folder, then puts the log at
// `logPath` when one is given, so the log in DIR is either the complete new
// one or the old one. Empty on success, otherwise what went wrong.
std::string RunTrial(const kestu::ScenarioTables& tables, kestu::HeadlessOptions options, const std::string& logPath,
                     kestu::TrialOutcome& outcome)
{
    std::error_code noTemp;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(noTemp);
    std::string scratch = ((noTemp ? std::filesystem::path("/tmp") : temp) / "kestu-demo.XXXXXX").string();
    if (!::mkdtemp(scratch.data())) return "cannot make a temporary folder: " + kestu::SystemReason(errno);
    options.logFolder = scratch;
    outcome = kestu::RunHeadlessTrial(tables, options);
    const std::string log = ReadWhole((std::filesystem::path(scratch) / kestu::TrialLogFileName(options.userId, 1)).string());
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    // A trial that reached its end with no fault wrote its whole log, STOP last.
    if (!outcome.faults.empty()) return kestu::FaultSentence(outcome.faults.front());
    if (outcome.how != kestu::RunEnd::AtEndTime) return "the trial did not reach its end in the temporary folder " + scratch;
    if (logPath.empty()) return {};
    const kestu::Status written = kestu::ReplaceFile(logPath, log);
    return written ? std::string() : logPath + ": cannot be written (" + written.error() + ")";
}

void PrintOutcome(const kestu::TrialOutcome& out, std::uint64_t seed, const std::string& logPath)
{
    const kestu::PlantState& p = out.plant;
    std::printf("Random method, seed %llu: %lld ticks, clock %s\n", static_cast<unsigned long long>(seed),
                out.ticks, kestu::FormatClock(p.Clock).c_str());
    std::printf("trial log: %s\n", logPath.empty() ? "not kept (--out DIR keeps it as DIR/demo.1)" : logPath.c_str());
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
}

}  // namespace

int main(int argc, char** argv)
{
    DemoOptions args;
    if (const std::string error = ParseDemoArgs(argc, argv, args); !error.empty()) return UsageError(error);
    if (args.help) {
        std::printf("%s\nRuns the database's scenario once with the Random method, without a window, writes\n"
                    "its trial log DIR/demo.1 when --out is given, and prints the plant at the end. FILE\n"
                    "defaults to KESTU.MDB beside the program, N to a seed from the clock. Without --out\n"
                    "no file is written, so a demo never lands among a study's trial logs.\n",
                    Usage);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    QCoreApplication app(argc, argv);  // lets Qt find its SQLite driver
    const std::string programDir = QCoreApplication::applicationDirPath().toStdString();
    const std::string dbPath = args.db.value_or(kestu::ExperimentDb::DefaultPath(programDir));
    kestu::HeadlessOptions options;
    options.userId = "demo";
    options.seed = args.seed.value_or(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::string logPath =
        args.out ? (std::filesystem::path(*args.out) / kestu::TrialLogFileName(options.userId, 1)).string() : "";

    auto db = kestu::ExperimentDb::Open(dbPath, kestu::OpenMode::ReadOnly);
    if (!db) return Failure(db.error());
    auto tables = db.value()->ReadScenario();
    if (!tables) return Failure(tables.error());

    kestu::TrialOutcome outcome;
    if (const std::string error = RunTrial(tables.value(), options, logPath, outcome); !error.empty()) {
        return Failure(error);
    }
    PrintOutcome(outcome, options.seed, logPath);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return Failure("cannot write to the standard output");
    return 0;
}
