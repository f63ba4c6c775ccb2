#include "trials/headless_trial.h"

#include <functional>


namespace kestu {

namespace {

// Ticks until the session's timer stops, or the limit is reached.
long long RunTicks(TrialSession& session, long long maxTicks,
                   const std::function<void(long long, const PlantState&)>& tickEnded = {})
{
    long long ticks = 0;
    while (session.engine.TimerRunning() && ticks < maxTicks) {
        session.engine.Simulate();
        ++ticks;
        if (tickEnded) tickEnded(ticks, session.plant());
    }
    return ticks;
}

// The watch sees each judgement just before the checkpoint books it.
void WatchDeadlines(TrialSession& session, const ReplayWatch& watch)
{
    if (!watch.deadlineJudged) return;
    session.engine.hooks.deadlineCheckpoint = [&session, &watch, checkpoint = session.engine.hooks.deadlineCheckpoint] {
        const PlantState& plant = session.plant();
        for (int t = 0; t < TankCount; ++t)
            if (DeadlineDueNow(plant, t)) watch.deadlineJudged(plant, t);
        checkpoint();
    };
}

TrialOutcome OutcomeOf(TrialSession& session, long long ticks)
{
    TrialOutcome outcome;
    outcome.ticks = ticks;
    outcome.plant = session.plant();
    outcome.missed = session.missed;
    const PlantState& p = outcome.plant;
    outcome.shares = ComputeShares(p.ElapsedTicks, p.BusyPumpTicks, p.SweepPumpTicks);
    return outcome;
}

// One trial as the window runs it: load, set up, start, run to the end, close.
ParticipantTrial DriveTrial(TrialSession& session, const ParticipantState& participant, long long maxTicks)
{
    ParticipantTrial run;
    int failures = 0;
    session.host.report = [&run, &failures](const std::string&, const std::string& text) {
        run.messages.push_back(text);
        ++failures;
    };
    // A notice (a log set aside at setup) is shown, and the trial goes on.
    session.host.notice = [&run](const std::string&, const std::string& text) { run.messages.push_back(text); };
    if (!session.trial.LoadPlant()) return run;
    if (session.trial.SetUpTrial() && failures == 0) session.trial.StartOrStop();
    if (session.engine.TimerRunning()) run.trialNum = participant.TrialNum;
    const long long ticks = RunTicks(session, maxTicks);
    const bool reachedEnd = run.trialNum > 0 && session.runEnd == RunEnd::AtEndTime;
    session.CloseWindow();
    run.completed = reachedEnd && failures == 0;  // the close may still report a failure
    run.trial = OutcomeOf(session, ticks);
    return run;
}

}  // namespace

TrialOutcome RunHeadlessTrial(const ScenarioTables& tables, const HeadlessOptions& options)
{
    MemoryStore store(tables);
    ParticipantState participant;
    participant.UserID = options.userId;
    TrialSession session(participant, store, options.logFolder);
    session.writeTrialLog = !options.logFolder.empty();
    session.decisionChoice = options.decisionMethod;
    session.engine.random().Seed(options.seed);
    return DriveTrial(session, participant, options.maxTicks).trial;
}

ParticipantTrial RunParticipantTrial(ParticipantState& participant, ExperimentStore& store, const std::string& folder,
                                     std::uint64_t seed, long long maxTicks)
{
    TrialSession session(participant, store, folder);
    session.decisionChoice = 1;
    session.engine.random().Seed(seed);
    return DriveTrial(session, participant, maxTicks);
}

ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const std::string& logPath, const std::string& workFolder)
{
    return ReplayLogFile(tables, logPath, workFolder, ReplayWatch{});
}

namespace {

ReplayOutcome ReplayLoaded(const ScenarioTables& tables, const std::string& workFolder, const ReplayWatch& watch,
                           const std::function<void(ReplayPlayer&)>& load)
{
    ReplayOutcome outcome;
    MemoryStore store(tables);
    ParticipantState participant;
    participant.UserID = "replay";
    participant.ReplayMode = true;
    participant.TrialNum = 1;
    TrialSession session(participant, store, workFolder);
    session.host.report = [&](const std::string&, const std::string& text) {
        if (outcome.error.empty()) outcome.error = text;
    };
    session.replay.recordApplied = watch.recordApplied;
    WatchDeadlines(session, watch);
    if (!session.trial.LoadPlant()) return outcome;
    load(session.replay);
    if (!outcome.error.empty()) return outcome;
    if (watch.setUp) watch.setUp(session.plant());
    long long ticks = 0;
    if (session.controls.PlayEnabled) {
        session.replay.Play();
        ticks = RunTicks(session, 1000000, watch.tickEnded);
    }
    // A STOP record ends a replay before its end time; a log cut off ends it
    // at its last record.
    outcome.endedByStop = session.runEnd == RunEnd::ByStopRecord;
    if (session.runEnd == RunEnd::LogCutOff) outcome.cutOffAt = session.plant().Clock;
    session.CloseWindow();
    outcome.trial = OutcomeOf(session, ticks);
    return outcome;
}

}  // namespace

ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const std::string& logPath, const std::string& workFolder,
                            const ReplayWatch& watch)
{
    return ReplayLoaded(tables, workFolder, watch, [&](ReplayPlayer& replay) { replay.LoadFrom(logPath, 1); });
}

ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const TrialLogText& log, const std::string& workFolder,
                            const ReplayWatch& watch)
{
    return ReplayLoaded(tables, workFolder, watch, [&](ReplayPlayer& replay) { replay.LoadFrom(log, 1); });
}

}  // namespace kestu
