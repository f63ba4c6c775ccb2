#include <chrono>
#include <limits>
#include <ostream>

#include "data/database_location.h"
#include "data/db_experiment_store.h"
#include "data/experiment_db.h"
#include "data/participant_lock.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "analysis/plain_number.h"
#include "trials/headless_trial.h"
#include "ui/fault_words.h"
#include "trials/number_text.h"

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

// The participant's trial count, adding the participant (with empty
// answers) when the User ID is new.
Result<int> TrialsDone(const std::string& dbPath, const std::string& userId)
{
    auto db = ExperimentDb::Open(dbPath, OpenMode::ReadWrite);
    if (!db) return db.fault();
    auto found = db.value()->FindParticipant(userId);
    if (!found) return found.fault();
    if (!found.value()) {
        Participant added;
        added.UserID = userId;
        if (const auto status = db.value()->AddParticipant(added); !status) return status.fault();
        return 0;
    }
    const auto count = ParseInteger(found.value()->TrialNum);
    if (!count || *count < 0 || *count > 32767) {
        return Result<int>::Fail(dbPath + ": table UserData, column TrialNum, row of User ID \"" + userId + "\": \"" +
                                 found.value()->TrialNum + "\" is not a trial count (a whole number from 0 to 32767)");
    }
    return static_cast<int>(*count);
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

    const auto lock = ParticipantLock::Take(dbPath, userId);
    if (!lock) return Failure(args, console, lock.error());
    const auto done = TrialsDone(dbPath, userId);
    if (!done) return Failure(args, console, done.error());

    ParticipantState participant;
    participant.UserID = userId;
    participant.TrialNum = done.value();
    DbExperimentStore store(dbPath, OutboxPath(LogFolder(args, dbPath)));
    store.beforeClaim = [&lock] { return lock.value()->Reassert(); };
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
