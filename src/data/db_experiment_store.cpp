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
    auto read = [&](ExperimentDb& db) {
        auto got = db.ReadScenario();
        if (!got) return got.error();
        tables = std::move(got).value();
        return std::string{};
    };
    const std::string error = WithDb(path_, OpenMode::ReadOnly, read);
    if (error.empty()) return error;
    // A write cut short by a full disk leaves a journal that only a
    // read-write connection may roll back before the file can be read.
    return WithDb(path_, OpenMode::ReadWrite, read).empty() ? std::string{} : error;
}

std::string DbExperimentStore::ClaimTrial(const ExperimentStart& row, long long& rowId)
{
    return WithDb(path_, OpenMode::ReadWrite, [&](ExperimentDb& db) {
        auto added = db.ClaimTrial(row);
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
