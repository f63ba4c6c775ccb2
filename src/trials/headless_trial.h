#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scenario/results.h"
#include "scenario/scenario_tables.h"
#include "trials/trial_session.h"

namespace kestu {

// What a tool may watch of a replay, moment by moment; it changes nothing
// the replay does. Any part may be left empty.
struct ReplayWatch {
    // The plant once set up, with the records stamped with the setup time applied.
    std::function<void(const PlantState&)> setUp;
    // Each record once the replay has acted on it, with the plant it left.
    std::function<void(const LogRecord&, const PlantState&)> recordApplied;
    // A tank's deadline about to be judged in the tick under way.
    std::function<void(const PlantState&, int tank)> deadlineJudged;
    // The plant at the end of tick `tick` (counted from 1), its records due applied.
    std::function<void(long long tick, const PlantState&)> tickEnded;
};
// The outcome of a whole trial run without a window.
struct TrialOutcome {
    PlantState plant;
    MissedTally missed;
    std::optional<PumpShares> shares;
    long long ticks = 0;
    RunEnd how = RunEnd::NotEnded;
    std::vector<TrialFault> faults;  // in order, notices too
};

struct HeadlessOptions {
    std::uint64_t seed = 1;
    int decisionMethod = 1;         // the Random method unless told otherwise
    std::string logFolder;          // where the trial log goes; empty: no log
    std::string userId = "batch";
    long long maxTicks = 1000000;   // a scenario whose end never comes stops here
};

// Sets up and runs one Experiment trial of the scenario from start to end.
TrialOutcome RunHeadlessTrial(const ScenarioTables& tables, const HeadlessOptions& options);

// One Experiment trial of a participant, run as the window runs it (its
// trial number claimed in the store, its log in `folder`, its row completed,
// the counter saved) with the Random method and no window.
struct ParticipantTrial {
    int trialNum = 0;               // the number the trial ran under; 0 when it never started
    bool completed = false;         // it reached its end time and its row has its results
    std::vector<TrialFault> faults;  // what the window would have shown, in order (notices too)
    TrialOutcome trial;
};
ParticipantTrial RunParticipantTrial(ParticipantState& participant, ExperimentStore& store, const std::string& folder,
                                     std::uint64_t seed, long long maxTicks = 1000000);

// What replaying a trial log to its end shows.
struct ReplayOutcome {
    std::optional<TrialFault> fault;  // why the log cannot be replayed; none when it was
    bool endedByStop = false;       // a "STOP" before the end time (the window was closed)
    // Set when the log has no STOP and ends before the end time: the trial
    // was cut off there (a crash, or a record that could not be written), and
    // the replay ended at the clock of its last record, which this holds.
    std::optional<ClockTime> cutOffAt;
    TrialOutcome trial;
};

// Replays a trial log exactly as the window's replay console does, without a
// window. Snapshot files it re-saves stay in workFolder, which must exist;
// nothing is written anywhere else.
ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const std::string& logPath, const std::string& workFolder);

ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const std::string& logPath, const std::string& workFolder,
                            const ReplayWatch& watch);
// The same for a log already read into memory.
ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const TrialLogText& log, const std::string& workFolder,
                            const ReplayWatch& watch);

// The one driver of every run without a window (the tools, the reference
// trials, the tests): the session's own operations in the window's order.
struct TickScript {
    // Before tick `tick` (1 the first); 0 between the setup and the start.
    std::function<void(long long tick)> beforeTick;
    std::function<void(long long tick, const PlantState&)> tickEnded;
};
// Ticks while the session ticks, at most maxTicks; returns the ticks run.
long long TickWhileRunning(TrialSession& session, long long maxTicks, const TickScript& script = {});
// Load, set up, start, tick to the end and close, as the window does.
ParticipantTrial RunSessionTrial(TrialSession& session, long long maxTicks, const TickScript& script = {});
// Load the plant and the log, play it to its end; the session stays open.
ReplayOutcome RunSessionReplay(TrialSession& session, const std::string& logPath, int trialNum,
                               const ReplayWatch& watch = {});
ReplayOutcome RunSessionReplay(TrialSession& session, const TrialLogText& log, int trialNum,
                               const ReplayWatch& watch = {});
// The same with the log loaded by `load` (one of the replay's loads).
ReplayOutcome RunLoadedReplay(TrialSession& session, const ReplayWatch& watch, const std::function<void()>& load);

}  // namespace kestu
