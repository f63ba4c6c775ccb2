#include "data/db_experiment_store.h"

#include "data/database_location.h"
#include "data/experiment_db.h"

namespace kestu {

namespace {
template <typename T, typename F>
Result<T> WithDb(const std::string& path, OpenMode mode, F&& body)
{
    auto db = ExperimentDb::Open(path, mode);
    if (!db) return db.fault();
    return body(*db.value());
}
}  // namespace

Result<ScenarioTables> DbExperimentStore::ReadScenario()
{
    auto read = [](ExperimentDb& db) { return db.ReadScenario(); };
    auto tables = WithDb<ScenarioTables>(path_, OpenMode::ReadOnly, read);
    if (tables) return tables;
    // A write cut short by a full disk leaves a journal that only a
    // read-write connection may roll back before the file can be read.
    auto again = WithDb<ScenarioTables>(path_, OpenMode::ReadWrite, read);
    return again ? again : tables;
}

Result<long long> DbExperimentStore::ClaimTrial(const ExperimentStart& row)
{
    deferring_ = false;
    return WithDb<long long>(path_, OpenMode::ReadWrite, [&](ExperimentDb& db) { return db.ClaimTrial(row); });
}

Status DbExperimentStore::CompleteExperiment(long long rowId, const ExperimentResult& result)
{
    const OutboxCompletion entry{rowId, result};
    if (deferring_) return KeepInOutbox(Status::Fail("its log is waiting to be delivered"), entry);
    const Status done = WithDb<std::monostate>(path_, OpenMode::ReadWrite,
                                               [&](ExperimentDb& db) { return db.CompleteExperiment(rowId, result); });
    return done ? done : KeepInOutbox(done, entry);
}

Status DbExperimentStore::SaveTrialNum(const std::string& userId, int trialNum)
{
    return WithDb<std::monostate>(path_, OpenMode::ReadWrite,
                                  [&](ExperimentDb& db) { return db.SaveTrialNum(userId, trialNum); });
}

Status DbExperimentStore::StoreTrialLog(const TrialLogCopy& log)
{
    if (deferring_) return KeepInOutbox(Status::Fail("its results are waiting to be delivered"), log);
    const Status stored =
        WithDb<std::monostate>(path_, OpenMode::ReadWrite, [&](ExperimentDb& db) { return db.StoreTrialLog(log); });
    return stored ? stored : KeepInOutbox(stored, log);
}

Status DbExperimentStore::KeepInOutbox(const Status& failure, const OutboxEntry& entry)
{
    if (outboxPath_.empty() || !LooksLikeServerUrl(path_)) return failure;
    const Status kept = AppendToOutbox(outboxPath_, entry);
    if (!kept) return Status::Fail(failure.error() + "\nThe results cannot be kept on this computer either: " + kept.error());
    const bool first = !deferring_;
    deferring_ = true;
    return Status::Fail((first ? failure.error() + "\n" : std::string()) +
                        "This trial's results are kept on this computer, in " + outboxPath_ +
                        ", and are delivered at the next start of Kestu or by kestuctl sync.");
}

}  // namespace kestu
