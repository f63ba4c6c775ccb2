#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/result.h"
#include "scenario/scenario_tables.h"

namespace kestu {

// The row an Experiment trial adds to "Experiments" when it starts.
struct ExperimentStart {
    std::string UserID;
    int Experiment = 0;
    std::string Date;       // yyyy-mm-dd
    std::string StartTime;  // hh:mm:ss
    std::string Scenario = "Standard";
    double SimRate = 0;     // whole minutes a 480-tick trial takes at the trial's speed
};

// What the end of the trial writes into that row.
struct ExperimentResult {
    std::string EndTime;  // hh:mm:ss
    double MissedBuckets = 0;
    std::optional<double> BusyTime, SweepTime, IdleTime;  // empty when no tick counted
};

// Which trial of which participant: the key of its row in "Experiments".
struct TrialId {
    std::string UserID;
    long long Experiment = 0;
};

// A copy of a trial's log for table "TrialLogs": the bytes of USERID.N as
// the trial left them.
struct TrialLogCopy {
    std::string UserID;
    long long Experiment = 0;
    std::string Host;       // the computer the trial ran on
    std::string Bytes;
    std::string WrittenAt;  // yyyy-mm-dd hh:mm:ss, the seat's own clock
};

// Where the trial operations read the scenario and keep their rows. The
// database implements it; headless runs keep everything in memory.
class ExperimentStore {
public:
    virtual ~ExperimentStore() = default;
    virtual Result<ScenarioTables> ReadScenario() = 0;
    // Starts the trial in one step: the participant's trial count becomes
    // row.Experiment and the row is added (its id is returned), or neither
    // (the number is taken).
    virtual Result<long long> ClaimTrial(const ExperimentStart& row) = 0;
    // Fills in the results of the trial's row, only while they are empty.
    virtual Status CompleteExperiment(const TrialId& trial, const ExperimentResult& result) = 0;
    // Whether the trial's number was claimed (its row exists).
    virtual Result<bool> TrialClaimed(const TrialId& trial) = 0;
    virtual Status SaveTrialNum(const std::string& userId, int trialNum) = 0;
    // Keeps the log once: a second copy of the same trial's log is ignored.
    virtual Status StoreTrialLog(const TrialLogCopy& log) = 0;
    // Where this trial's results wait when the database could not take them
    // (a file on this computer, delivered later); nothing when they were not
    // kept anywhere, so a failed write lost them.
    virtual std::optional<std::string> ResultsKeptIn() const { return std::nullopt; }
};

// A store that only holds the scenario and remembers the rows in memory.
class MemoryStore : public ExperimentStore {
public:
    explicit MemoryStore(ScenarioTables tables = {}) : tables(std::move(tables)) {}
    Result<ScenarioTables> ReadScenario() override { return tables; }
    Result<long long> ClaimTrial(const ExperimentStart& row) override
    {
        if (savedTrialNum && *savedTrialNum >= row.Experiment) return Fault{"trial number already taken"};
        started = row;
        savedTrialNum = row.Experiment;
        return ++rows;
    }
    Status CompleteExperiment(const TrialId&, const ExperimentResult& r) override
    {
        result = r;
        return Ok();
    }
    Result<bool> TrialClaimed(const TrialId& trial) override
    {
        return started && started->UserID == trial.UserID && started->Experiment == trial.Experiment;
    }
    Status SaveTrialNum(const std::string&, int n) override
    {
        savedTrialNum = n;
        return Ok();
    }
    Status StoreTrialLog(const TrialLogCopy& log) override
    {
        logs.push_back(log);
        return Ok();
    }

    ScenarioTables tables;
    std::optional<ExperimentStart> started;
    std::optional<ExperimentResult> result;
    std::optional<int> savedTrialNum;
    std::vector<TrialLogCopy> logs;
    long long rows = 0;
};

}  // namespace kestu
