#pragma once

#include <string>

#include "trials/experiment_store.h"

namespace kestu {

// The trial operations' store over the experiment database file. Every call
// opens its own connection, so a file that vanished or was replaced between
// two calls is reported instead of being written blindly.
class DbExperimentStore : public ExperimentStore {
public:
    explicit DbExperimentStore(std::string dbPath) : path_(std::move(dbPath)) {}
    const std::string& path() const { return path_; }

    Result<ScenarioTables> ReadScenario() override;
    Result<long long> ClaimTrial(const ExperimentStart& row) override;
    Status CompleteExperiment(long long rowId, const ExperimentResult& result) override;
    Status SaveTrialNum(const std::string& userId, int trialNum) override;
    Status StoreTrialLog(const TrialLogCopy& log) override;

private:
    std::string path_;
};

}  // namespace kestu
