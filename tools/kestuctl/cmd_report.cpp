#include <algorithm>
#include <functional>
#include <optional>
#include <thread>

#include "analysis/baseline_runner.h"
#include "analysis/distribution.h"
#include "analysis/plain_number.h"
#include "analysis/report_html.h"
#include "analysis/study_review.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/output_file.h"
#include "kestuctl/progress_bar.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

constexpr long long DefaultBaselineTrials = 2000;
constexpr long long MaxBaselineTrials = 10000000;
// The baseline's seed: `kestuctl baseline`'s default, so that its numbers can be printed again.
constexpr std::uint64_t BaselineSeed = 1;

int RunReport(const ParsedArgs& args, Console& console)
{
    const auto out = args.Value("--out");
    if (!out || out->empty()) return UsageError(args, console, "missing --out FILE.html");
    if (*out == "-") return UsageError(args, console, "--out names the file the report goes to; \"-\" is none");
    const auto trials =
        ParseWhole(args.Value("--baseline").value_or(std::to_string(DefaultBaselineTrials)), 1, MaxBaselineTrials);
    if (!trials) return UsageError(args, console, "--baseline is a whole number 1.." + std::to_string(MaxBaselineTrials));

    const std::string location = args.Positional(0);
    auto db = OpenDatabase(location, OpenMode::ReadOnly, console);
    if (!db) return Failure(args, console, db.error());
    auto tables = db.value()->ReadScenario();
    if (!tables) return Failure(args, console, tables.error());

    // The rows are counted once they are read: the bar starts then.
    std::optional<ProgressBar> replaying;
    std::function<void(std::size_t, std::size_t)> replayed;
    if (console.showProgress) {
        replayed = [&](std::size_t done, std::size_t all) {
            if (!replaying) replaying.emplace(console, "replaying", static_cast<long long>(all));
            replaying->Update(static_cast<long long>(done));
        };
    }
    auto study = ReviewStudy(*db.value(), location, tables.value(), replayed);
    if (replaying) replaying->Finish();
    if (!study) return Failure(args, console, study.error());

    const int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    ProgressBar progress(console, "baseline", *trials);
    std::function<void(long long)> report;
    if (console.showProgress) report = [&](long long done) { progress.Update(done); };
    const auto runs = RunBaseline(tables.value(), *trials, BaselineSeed, jobs, report);
    progress.Finish();
    std::vector<double> missed;
    for (const BaselineTrial& run : runs) missed.push_back(static_cast<double>(run.missedBuckets));
    const ReportBaseline baseline{*trials, BaselineSeed, Describe(missed)};

    const std::string shown = DatabaseShown(location).value_or(location);
    const Status written = WriteFile(*out, StudyReportHtml(study.value(), baseline, shown), console);
    if (!written) return Failure(args, console, written.error());
    const std::size_t people = study.value().participants.size(), rows = study.value().trials;
    console.out << *out << ": the report of " << people << (people == 1 ? " participant and " : " participants and ")
                << rows << (rows == 1 ? " trial\n" : " trials\n");
    return ExitOk;
}

}  // namespace

const Command ReportCommand{
    "report",
    "report DB --out FILE.html [--baseline N]",
    "Write the study report: every participant's trials on one page.",
    "Reads every participant of DB with their rows in table Experiments and\n"
    "their trial logs (beside DB, or their copies in table TrialLogs) and writes\n"
    "one HTML file that holds everything it shows, so it opens without a network\n"
    "and prints to PDF from a browser, each participant on a page where it fits:\n"
    "  - the study's size: participants, trials (rows), complete and incomplete\n"
    "    (rows without a result);\n"
    "  - per participant, the missed buckets by trial number, drawn in front of\n"
    "    the median and middle half of N trials of the Random method on the\n"
    "    study's scenario (seed 1, the numbers kestuctl baseline DB --trials N\n"
    "    prints; N defaults to 2000);\n"
    "  - the busy, cleaning and idle pump shares by trial;\n"
    "  - a map of tanks by trials: the buckets each tank still owed when its\n"
    "    deadline was judged, from replaying each trial's log;\n"
    "  - the flags: rows without a result, trial numbers with no log, logs that\n"
    "    disagree with their row (as kestuctl rescore finds them), trial numbers\n"
    "    on several rows, and logs that no row names.\n"
    "The figures are also in the file as JSON, in the element with id\n"
    "\"figures\", for programs. FILE is replaced only once the report is whole.\n\n"
    "Example:\n"
    "  kestuctl report KESTU.MDB --out study.html\n"
    "  kestuctl report postgresql://experimenter@labserver/study1 --out study1.html --baseline 10000\n",
    {{"DB"}, 1, {"--out", "--baseline"}, {}},
    RunReport,
};

}  // namespace kestu::ctl
