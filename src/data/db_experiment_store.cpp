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
    openFailed_ = false;
    if (!server_) {
        auto db = ExperimentDb::Open(path_, OpenMode::ReadWrite);
        if (!db) {
            openFailed_ = true;
            return db.fault();
        }
        server_ = std::move(db).value();
        // The study's ID marks whatever this seat keeps for it later, when
        // the server may be gone.
        if (!studyId_) {
            if (auto id = server_->StudyId()) studyId_ = id.value();
        }
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

void DbExperimentStore::BeginTrial()
{
    deferring_ = false;
    keptIn_.reset();
}

Result<long long> DbExperimentStore::ClaimTrial(const ExperimentStart& row)
{
    BeginTrial();
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
    return WriteOrKeep(OutboxEntry(studyId_.value_or(""), OutboxCompletion{trial, claimedRow_, result}),
                       [&](ExperimentDb& db) { return db.CompleteTrial(trial, result); });
}

Status DbExperimentStore::SaveTrialNum(const std::string& userId, int trialNum)
{
    return WithDb<std::monostate>(OpenMode::ReadWrite,
                                  [&](ExperimentDb& db) { return db.SaveTrialNum(userId, trialNum); });
}

Status DbExperimentStore::StoreTrialLog(const TrialLogCopy& log)
{
    return WriteOrKeep(OutboxEntry(studyId_.value_or(""), log),
                       [&](ExperimentDb& db) { return db.StoreTrialLog(log); });
}

template <typename F>
Status DbExperimentStore::WriteOrKeep(const OutboxEntry& entry, F&& write)
{
    // Once a write of this trial waits in the outbox, the trial's later
    // writes wait behind it.
    if (deferring_) return KeepInOutbox(Status::Fail("an earlier write of this trial waits in the outbox"), entry);
    // One bound over both tries, so a hung server costs the trial one limit, not two.
    const std::optional<dbdetail::ServerCallBound> bound =
        onServer_ ? std::optional<dbdetail::ServerCallBound>(std::in_place) : std::nullopt;
    const Status done = WithDb<std::monostate>(OpenMode::ReadWrite, write);
    if (done || !onServer_ || outboxPath_.empty()) return done;
    // The kept connection may have died with a server since restarted.
    server_.reset();
    const Status again = WithDb<std::monostate>(OpenMode::ReadWrite, write);
    return again ? again : KeepInOutbox(again, entry);
}

Status DbExperimentStore::KeepInOutbox(const Status& failure, const OutboxEntry& entry)
{
    if (outboxPath_.empty() || !onServer_) return failure;
    if (!deferring_)
        keptBecause_ = openFailed_ ? "The study's server cannot be reached."
                                   : "The study's database did not take this trial's results.";
    const std::string& what = keptBecause_;
    const Status kept = AppendToOutbox(outboxPath_, entry);
    if (!kept) {
        keptIn_.reset();
        return Status::Fail(what + " This trial's results could not be kept on this computer either (" +
                            kept.error() + ").");
    }
    deferring_ = true;
    keptIn_ = outboxPath_;
    return Status::Fail(what + " This trial's results are kept on this computer, in " + outboxPath_ +
                        ", and are delivered at the next start of Kestu or by kestuctl sync.");
}

}  // namespace kestu
