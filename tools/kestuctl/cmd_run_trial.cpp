#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>

#include "data/database_location.h"
#include "data/db_experiment_store.h"
#include "data/outbox.h"
#include "data/participant_login.h"
#include "data/seat_reporter.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "markers/lsl_library.h"
#include "markers/marker_outlet.h"
#include "analysis/plain_number.h"
#include "trials/headless_trial.h"
#include "trials/trial_session.h"
#include "ui/fault_words.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

// The window's speed scroll bar: milliseconds per tick.
constexpr int MinimumSpeed = 125;
constexpr int MaximumSpeed = 3750;

// Where the trial log goes: beside an SQLite file, or in the folder given
// (the current one by default) for a study on a server.
std::string LogFolder(const ParsedArgs& args, const std::string& dbPath)
{
    if (const auto given = args.Value("--logs")) return *given;
    if (LooksLikeServerUrl(dbPath)) return ".";
    const auto slash = dbPath.rfind('/');
    return slash == std::string::npos ? std::string{} : dbPath.substr(0, slash == 0 ? 1 : slash);
}

// The seat's marker stream; none, said once, when the library cannot make it.
std::unique_ptr<markers::MarkerOutlet> OpenMarkers(const std::string& dbPath, const std::string& seat,
                                                   const std::string& userId, Console& console)
{
    std::string problem;
    std::shared_ptr<const markers::LslLibrary> library = markers::LslLibrary::Load(problem);
    std::unique_ptr<markers::MarkerOutlet> outlet;
    if (library) {
        std::string study;
        if (auto db = ExperimentDb::Open(dbPath, OpenMode::ReadOnly)) {
            if (auto id = db.value()->StudyId()) study = id.value();
        }
        outlet = markers::MarkerOutlet::OpenLsl(library, {.seat = seat, .version = {}, .participant = userId, .study = study}, problem);
    }
    if (!outlet) console.err << "kestuctl run-trial: " << problem << " The trial runs without markers.\n";
    return outlet;
}

int RunTrial(const ParsedArgs& args, Console& console)
{
    const std::string dbPath = args.Positional(0);
    const std::string userId = args.Positional(1);
    if (!IsValidUserId(userId))
        return UsageError(args, console, "USERID \"" + userId + "\" is not 1 to 8 letters, digits, \"_\" or \"-\"");
    std::uint64_t seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    if (const auto given = args.Value("--seed")) {
        const auto parsed = ParseWhole(*given, 0, std::numeric_limits<long long>::max());
        if (!parsed) return UsageError(args, console, "--seed is a whole number 0 or more");
        seed = static_cast<std::uint64_t>(*parsed);
    }
    std::optional<int> speed;  // milliseconds per tick; none: as fast as possible
    if (const auto given = args.Value("--speed")) {
        const auto parsed = ParseWhole(*given, MinimumSpeed, MaximumSpeed);
        if (!parsed)
            return UsageError(args, console,
                              "--speed is a whole number of milliseconds per tick, " + std::to_string(MinimumSpeed) +
                                  " to " + std::to_string(MaximumSpeed));
        speed = static_cast<int>(*parsed);
    }
    std::string seat = ThisComputer();
    if (const auto given = args.Value("--seat")) {
        if (given->empty() || given->size() > 200)
            return UsageError(args, console, "--seat names the seat with 1 to 200 bytes");
        seat = *given;
    }
    long long recorderWait = 0;  // seconds
    if (const auto given = args.Value("--lsl-wait")) {
        const auto parsed = ParseWhole(*given, 0, 3600);
        if (!parsed) return UsageError(args, console, "--lsl-wait is a whole number of seconds, 0 to 3600");
        if (!args.Has("--lsl")) return UsageError(args, console, "--lsl-wait is only for --lsl");
        recorderWait = *parsed;
    }
    SayDatabase(console, dbPath);

    // A User ID not yet in the study is added with empty answers.
    auto login = LogIn(dbPath, userId, AddWithEmptyAnswers());
    if (!login) return Failure(args, console, login.error());
    if (!login.value()) return Failure(args, console, "User ID " + userId + " is not in the study");
    const std::unique_ptr<ParticipantLock> lock = std::move(login.value()->lock);

    ParticipantState participant;
    participant.UserID = userId;
    participant.TrialNum = login.value()->TrialNum;
    const std::string outbox = OutboxPath(LogFolder(args, dbPath));
    DbExperimentStore store(dbPath, outbox);
    store.beforeClaim = [&lock] { return lock->Reassert(); };
    TrialSession session(participant, store, LogFolder(args, dbPath));
    session.decisionChoice = 1;
    session.engine.random().Seed(seed);
    if (speed) session.trial.ChangeSpeed(*speed);  // as the window's speed bar sets it, and recorded so
    // The seat's row for the lab page, written beside the trial, never in its way.
    std::unique_ptr<SeatReporter> reporter;
    if (!args.Has("--no-report")) {
        reporter = std::make_unique<SeatReporter>(SeatReporterSettings{.location = dbPath, .seat = seat, .outboxPath = outbox});
        reporter->Idle(userId);
        session.observers.Add(reporter.get());
    }
    // The trial's markers on the seat's LSL stream, pushed beside the trial, never in its way.
    std::unique_ptr<markers::MarkerOutlet> outlet;
    if (args.Has("--lsl")) {
        outlet = OpenMarkers(dbPath, seat, userId, console);
        if (outlet) session.observers.Add(outlet.get());
        if (outlet && recorderWait > 0) {
            console.err << "kestuctl run-trial: waiting up to " << recorderWait << " s for a recorder to connect to "
                        << markers::SourceId(seat) << "\n";
            if (!outlet->WaitForRecorder(static_cast<double>(recorderWait)))
                console.err << "kestuctl run-trial: no recorder connected within " << recorderWait
                            << " s; the trial runs on\n";
        }
    }
    TickScript script;
    if (speed) {
        // Tick k is due at the start plus k intervals, as the window's clock has it.
        const auto interval = std::chrono::milliseconds(*speed);
        std::chrono::steady_clock::time_point start;
        script.beforeTick = [&start, interval](long long tick) {
            if (tick == 0) start = std::chrono::steady_clock::now();
            else std::this_thread::sleep_until(start + tick * interval);
        };
    }
    const ParticipantTrial run = RunSessionTrial(session, 1000000, script);
    if (outlet) {
        session.observers.Remove(outlet.get());
        outlet->Stop();  // every marker queued is pushed before the stream closes
    }
    if (reporter) {
        session.observers.Remove(reporter.get());
        reporter->Stop();  // the trial's last phase, reported once more within a bound
    }
    for (const TrialFault& fault : run.faults) console.err << "kestuctl run-trial: " << FaultSentence(fault) << "\n";
    if (!run.completed) {
        if (run.faults.empty()) console.err << "kestuctl run-trial: the trial did not reach its end\n";
        return ExitFailure;
    }
    console.out << "User ID " << userId << ", trial " << run.trialNum << ": " << run.trial.missed.Total
                << " missed buckets\n";
    return ExitOk;
}

}  // namespace

const Command RunTrialCommand{
    "run-trial",
    "run-trial DB USERID [--seed S] [--logs DIR] [--speed MS] [--seat NAME] [--no-report] [--lsl [--lsl-wait S]]",
    "Run one recorded trial for a participant with the Random method.",
    "Runs one whole Experiment trial for USERID exactly as the participant's\n"
    "window does, without a window: the participant is held for the run (a\n"
    "second copy is refused), the next trial number is claimed, the trial log\n"
    "USERID.N is written beside DB (a study on a server: in DIR, by default the\n"
    "current folder), and the trial's row in \"Experiments\" and\n"
    "the participant's trial count are stored. The switches are clicked by the\n"
    "Random method, seeded from S (default: the clock). A User ID not yet in DB\n"
    "is added with empty questionnaire answers. Use it to pilot a study.\n\n"
    "The trial runs as fast as it can; --speed MS ticks in real time at MS\n"
    "milliseconds per tick (125, the fastest a participant can choose, runs a\n"
    "480-tick trial in one minute) and records that speed in the trial's row.\n"
    "While it runs, the seat reports its participant, trial, phase and clock in\n"
    "table \"SeatStatus\" for the lab page, under this computer's name or NAME;\n"
    "--no-report leaves the table alone.\n\n"
    "--lsl sends the trial's markers on this seat's Lab Streaming Layer stream\n"
    "(name Kestu, type Markers, source ID kestu@NAME), as kestu --lsl does:\n"
    "the library liblsl.so is loaded when the trial starts (the environment\n"
    "variable KESTU_LSL_LIBRARY may name its file); without it the trial runs\n"
    "without markers, after one line saying so. kestuctl markers prints the\n"
    "markers of the trial's log. --lsl-wait S waits up to S seconds before the\n"
    "trial starts for a recorder to connect to the stream.\n\n"
    "Example:\n"
    "  kestuctl run-trial KESTU.MDB pilot1 --seed 7\n",
    {{"DB", "USERID"}, 2, {"--seed", "--logs", "--speed", "--seat", "--lsl-wait"}, {"--no-report", "--lsl"}},
    RunTrial,
};

}  // namespace kestu::ctl
