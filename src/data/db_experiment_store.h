#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/experiment_db.h"
#include "data/outbox.h"
#include "trials/experiment_store.h"

namespace kestu {

// The trial operations' store over the experiment database. Every call
// opens its own connection, so a file that vanished or was replaced between
// two calls is reported instead of being written blindly.
//
// With an outbox, a study on a server that cannot be reached at a trial's
// end loses nothing: after one more try on a fresh connection, the trial's
// log and results go into the outbox file (and every later write of that
// trial after them, keeping their order), marked with the study's ID, and
// the message says they are kept on this computer. The server's own words go
// to standard error, once a trial, with the time.
class DbExperimentStore : public ExperimentStore {
public:
    explicit DbExperimentStore(std::string dbPath, std::string outboxPath = {});
    ~DbExperimentStore() override;
    const std::string& path() const { return path_; }

    // Run before every claim; a failure refuses the claim with its message
    // (the participant's lock, lost with a server's restart and held by
    // another copy now).
    std::function<Status()> beforeClaim;

    Result<ScenarioTables> ReadScenario() override;
    Result<long long> ClaimTrial(const ExperimentStart& row) override;
    Status CompleteExperiment(const TrialId& trial, const ExperimentResult& result) override;
    Result<bool> TrialClaimed(const TrialId& trial) override;
    Status SaveTrialNum(const std::string& userId, int trialNum) override;
    Status StoreTrialLog(const TrialLogCopy& log) override;
    std::optional<std::string> ResultsKeptIn() const override { return keptIn_; }

private:
    template <typename T, typename F>
    Result<T> WithDb(OpenMode mode, F&& body);
    // Writes through `write`, tried once more on a fresh connection, or keeps `entry`.
    template <typename F>
    Status WriteOrKeep(const OutboxEntry& entry, F&& write);
    Status KeepInOutbox(const Status& failure, const OutboxEntry& entry);
    void BeginTrial();

    std::string path_;
    std::string outboxPath_;
    bool onServer_ = false;
    std::unique_ptr<ExperimentDb> server_;  // the kept server connection
    bool deferring_ = false;  // this trial's writes go to the outbox
    long long claimedRow_ = 0;  // the row the last claim added
    std::optional<std::string> studyId_;  // learnt from the server while it answered
    bool openFailed_ = false;  // the last call could not even connect
    std::string keptBecause_;  // the sentence that says why this trial's writes wait
    std::optional<std::string> keptIn_;  // where this trial's results wait
};

}  // namespace kestu
