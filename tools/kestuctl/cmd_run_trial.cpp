#include <chrono>
#include <limits>
#include <ostream>

#include "data/database_location.h"
#include "data/db_experiment_store.h"
#include "data/participant_login.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "analysis/plain_number.h"
#include "trials/headless_trial.h"
#include "ui/fault_words.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

// Where the trial log goes: beside an SQLite file, or in the folder given
// (the current one by default) for a study on a server.
std::string LogFolder(const ParsedArgs& args, const std::string& dbPath)
{
    if (const auto given = args.Value("--logs")) return *given;
    if (LooksLikeServerUrl(dbPath)) return ".";
    const auto slash = dbPath.rfind('/');
    return slash == std::string::npos ? std::string{} : dbPath.substr(0, slash == 0 ? 1 : slash);
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
    SayDatabase(console, dbPath);

    // A User ID not yet in the study is added with empty answers.
    auto login = LogIn(dbPath, userId, AddWithEmptyAnswers());
    if (!login) return Failure(args, console, login.error());
    if (!login.value()) return Failure(args, console, "User ID " + userId + " is not in the study");
    const std::unique_ptr<ParticipantLock> lock = std::move(login.value()->lock);

    ParticipantState participant;
    participant.UserID = userId;
    participant.TrialNum = login.value()->TrialNum;
    DbExperimentStore store(dbPath, OutboxPath(LogFolder(args, dbPath)));
    store.beforeClaim = [&lock] { return lock->Reassert(); };
    const ParticipantTrial run = RunParticipantTrial(participant, store, LogFolder(args, dbPath), seed);
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
    "run-trial DB USERID [--seed S] [--logs DIR]",
    "Run one recorded trial for a participant with the Random method.",
    "Runs one whole Experiment trial for USERID exactly as the participant's\n"
    "window does, without a window: the participant is held for the run (a\n"
    "second copy is refused), the next trial number is claimed, the trial log\n"
    "USERID.N is written beside DB (a study on a server: in DIR, by default the\n"
    "current folder), and the trial's row in \"Experiments\" and\n"
    "the participant's trial count are stored. The switches are clicked by the\n"
    "Random method, seeded from S (default: the clock). A User ID not yet in DB\n"
    "is added with empty questionnaire answers. Use it to pilot a study.\n\n"
    "Example:\n"
    "  kestuctl run-trial KESTU.MDB pilot1 --seed 7\n",
    {{"DB", "USERID"}, 2, {"--seed", "--logs"}, {}},
    RunTrial,
};

}  // namespace kestu::ctl
