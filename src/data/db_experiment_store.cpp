#include "data/db_experiment_store.h"

#include "data/experiment_db.h"

namespace kestu {

namespace {
template <typename F>
std::string WithDb(const std::string& path, OpenMode mode, F&& body)
{
    auto db = ExperimentDb::Open(path, mode);
    if (!db) return db.error();
    return body(*db.value());
}
}  // namespace

std::string DbExperimentStore::ReadScenario(ScenarioTables& tables)
{
    return WithDb(path_, OpenMode::ReadOnly, [&](ExperimentDb& db) {
        auto read = db.ReadScenario();
        if (!read) return read.error();
        tables = std::move(read).value();
        return std::string{};
    });
}

std::string DbExperimentStore::AddExperiment(const ExperimentStart& row, long long& rowId)
{
    return WithDb(path_, OpenMode::ReadWrite, [&](ExperimentDb& db) {
        auto added = db.AddExperiment(row);
        if (!added) return added.error();
        rowId = added.value();
        return std::string{};
    });
}

std::string DbExperimentStore::CompleteExperiment(long long rowId, const ExperimentResult& result)
{
    return WithDb(path_, OpenMode::ReadWrite,
                  [&](ExperimentDb& db) { return db.CompleteExperiment(rowId, result).error(); });
}

std::string DbExperimentStore::SaveTrialNum(const std::string& userId, int trialNum)
{
    return WithDb(path_, OpenMode::ReadWrite,
                  [&](ExperimentDb& db) { return db.SaveTrialNum(userId, trialNum).error(); });
}

}  // namespace kestu
