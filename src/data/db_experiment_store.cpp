#include "data/db_experiment_store.h"

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
    return WithDb<long long>(path_, OpenMode::ReadWrite, [&](ExperimentDb& db) { return db.ClaimTrial(row); });
}

Status DbExperimentStore::CompleteExperiment(long long rowId, const ExperimentResult& result)
{
    return WithDb<std::monostate>(path_, OpenMode::ReadWrite,
                                  [&](ExperimentDb& db) { return db.CompleteExperiment(rowId, result); });
}

Status DbExperimentStore::SaveTrialNum(const std::string& userId, int trialNum)
{
    return WithDb<std::monostate>(path_, OpenMode::ReadWrite,
                                  [&](ExperimentDb& db) { return db.SaveTrialNum(userId, trialNum); });
}

Status DbExperimentStore::StoreTrialLog(const TrialLogCopy& log)
{
    return WithDb<std::monostate>(path_, OpenMode::ReadWrite, [&](ExperimentDb& db) { return db.StoreTrialLog(log); });
}

}  // namespace kestu
