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

    std::string ReadScenario(ScenarioTables& tables) override;
    std::string ClaimTrial(const ExperimentStart& row, long long& rowId) override;
    std::string CompleteExperiment(long long rowId, const ExperimentResult& result) override;
    std::string SaveTrialNum(const std::string& userId, int trialNum) override;

private:
    std::string path_;
};

}  // namespace kestu
