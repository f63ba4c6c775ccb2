#include "data/db_experiment_store.h"

#include "data/database_location.h"
#include "data/experiment_db.h"
#include "data/server_call_bound.h"

namespace kestu {

DbExperimentStore::DbExperimentStore(std::string dbPath, std::string outboxPath)
    : path_(std::move(dbPath)), outboxPath_(std::move(outboxPath)), onServer_(LooksLikeServerUrl(path_))
{
}

DbExperimentStore::~DbExperimentStore() = default;

// A file is opened afresh for every call, so one that vanished or was
// replaced in between is reported rather than written blindly. A server
// connection is kept, as a lab's seats would otherwise open thousands; after
// a failure it is opened afresh for the next call.
template <typename T, typename F>
Result<T> DbExperimentStore::WithDb(OpenMode mode, F&& body)
{
    if (!onServer_) {
        auto db = ExperimentDb::Open(path_, mode);
        if (!db) return db.fault();
        return body(*db.value());
    }
    const dbdetail::ServerCallBound bound;  // a server that stops answering fails the call
    if (!server_) {
        auto db = ExperimentDb::Open(path_, OpenMode::ReadWrite);
        if (!db) return db.fault();
        server_ = std::move(db).value();
    }
    Result<T> outcome = body(*server_);
    if (!outcome) server_.reset();
    return outcome;
}

Result<ScenarioTables> DbExperimentStore::ReadScenario()
{
    auto read = [](ExperimentDb& db) { return db.ReadScenario(); };
    auto tables = WithDb<ScenarioTables>(OpenMode::ReadOnly, read);
    if (tables) return tables;
    // A write cut short by a full disk leaves a journal that only a
    // read-write connection may roll back before the file can be read.
    auto again = WithDb<ScenarioTables>(OpenMode::ReadWrite, read);
    return again ? again : tables;
}

Result<long long> DbExperimentStore::ClaimTrial(const ExperimentStart& row)
{
    deferring_ = false;
    if (beforeClaim)
        if (const Status held = beforeClaim(); !held) return held.fault();
    auto claimed = WithDb<long long>(OpenMode::ReadWrite, [&](ExperimentDb& db) { return db.ClaimTrial(row); });
    if (claimed) claimedRow_ = claimed.value();
    return claimed;
}

Result<bool> DbExperimentStore::TrialClaimed(const TrialId& trial)
{
    return WithDb<bool>(OpenMode::ReadOnly, [&](ExperimentDb& db) { return db.TrialClaimed(trial); });
}

Status DbExperimentStore::CompleteExperiment(const TrialId& trial, const ExperimentResult& result)
{
    const OutboxCompletion entry{trial, claimedRow_, result};
    if (deferring_) return KeepInOutbox(Status::Fail("its log is waiting to be delivered"), entry);
    const Status done = WithDb<std::monostate>(OpenMode::ReadWrite,
                                               [&](ExperimentDb& db) { return db.CompleteTrial(trial, result); });
    return done ? done : KeepInOutbox(done, entry);
}

Status DbExperimentStore::SaveTrialNum(const std::string& userId, int trialNum)
{
    return WithDb<std::monostate>(OpenMode::ReadWrite,
                                  [&](ExperimentDb& db) { return db.SaveTrialNum(userId, trialNum); });
}

Status DbExperimentStore::StoreTrialLog(const TrialLogCopy& log)
{
    if (deferring_) return KeepInOutbox(Status::Fail("its results are waiting to be delivered"), log);
    const Status stored =
        WithDb<std::monostate>(OpenMode::ReadWrite, [&](ExperimentDb& db) { return db.StoreTrialLog(log); });
    return stored ? stored : KeepInOutbox(stored, log);
}

Status DbExperimentStore::KeepInOutbox(const Status& failure, const OutboxEntry& entry)
{
    if (outboxPath_.empty() || !onServer_) return failure;
    const Status kept = AppendToOutbox(outboxPath_, entry);
    if (!kept) return Status::Fail(failure.error() + "\nThe results cannot be kept on this computer either: " + kept.error());
    const bool first = !deferring_;
    deferring_ = true;
    return Status::Fail((first ? failure.error() + "\n" : std::string()) +
                        "This trial's results are kept on this computer, in " + outboxPath_ +
                        ", and are delivered at the next start of Kestu or by kestuctl sync.");
}

}  // namespace kestu
