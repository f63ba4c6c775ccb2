#include "trials/headless_trial.h"

namespace kestu {

namespace {

// Keeps a run's faults, in order.
struct FaultLog : TrialObserver {
    std::vector<TrialFault> faults;
    int failures = 0;  // faults that are not notices
    void OnTrialEvent(const TrialEvent& event) override
    {
        if (event.Kind != TrialEventKind::Fault) return;
        faults.push_back(*event.Fault);
        if (!IsNotice(*event.Fault)) ++failures;
    }
    TrialEventKinds Wanted() const override { return KindBit(TrialEventKind::Fault); }
};

// The watch sees each judgement as the checkpoint books it.
struct DeadlineWatch : TrialObserver {
    const TrialSession& session;
    const ReplayWatch& watch;
    DeadlineWatch(const TrialSession& s, const ReplayWatch& w) : session(s), watch(w) {}
    void OnTrialEvent(const TrialEvent& event) override
    {
        if (event.Kind == TrialEventKind::DeadlineJudged) watch.deadlineJudged(session.plant(), event.Tank);
    }
    TrialEventKinds Wanted() const override { return KindBit(TrialEventKind::DeadlineJudged); }
};

// Observes a session for the length of one run.
class Observing {
public:
    Observing(TrialSession& session, TrialObserver* observer) : session_(session), observer_(observer)
    {
        if (observer_) session_.observers.Add(observer_);
    }
    ~Observing()
    {
        if (observer_) session_.observers.Remove(observer_);
    }
    Observing(const Observing&) = delete;
    Observing& operator=(const Observing&) = delete;

private:
    TrialSession& session_;
    TrialObserver* observer_;
};

TrialOutcome OutcomeOf(const TrialSession& session, long long ticks)
{
    TrialOutcome outcome;
    outcome.ticks = ticks;
    outcome.plant = session.plant();
    outcome.missed = session.missed;
    outcome.how = session.runEnd;
    const PlantState& p = outcome.plant;
    outcome.shares = ComputeShares(p.ElapsedTicks, p.BusyPumpTicks, p.SweepPumpTicks);
    return outcome;
}

}  // namespace

long long TickWhileRunning(TrialSession& session, long long maxTicks, const TickScript& script)
{
    long long ticks = 0;
    while (session.Ticking() && ticks < maxTicks) {
        ++ticks;
        if (script.beforeTick) script.beforeTick(ticks);
        session.Tick();
        if (script.tickEnded) script.tickEnded(ticks, session.plant());
    }
    return ticks;
}

ParticipantTrial RunSessionTrial(TrialSession& session, long long maxTicks, const TickScript& script)
{
    ParticipantTrial run;
    FaultLog faults;  // a notice (a log set aside at setup) is kept, and the trial goes on
    const Observing observing(session, &faults);
    if (session.trial.LoadPlant() && session.trial.SetUpTrial() && faults.failures == 0) {
        if (script.beforeTick) script.beforeTick(0);
        session.trial.StartOrStop();
    }
    if (session.Ticking()) run.trialNum = session.participant.TrialNum;
    const long long ticks = TickWhileRunning(session, maxTicks, script);
    const bool reachedEnd = run.trialNum > 0 && session.runEnd == RunEnd::AtEndTime;
    run.trial = OutcomeOf(session, ticks);
    session.CloseWindow();
    run.completed = reachedEnd && faults.failures == 0;  // the close may still report a failure
    run.faults = std::move(faults.faults);
    run.trial.faults = run.faults;
    return run;
}

ReplayOutcome RunSessionReplay(TrialSession& session, const std::string& logPath, int trialNum, const ReplayWatch& watch)
{
    return RunLoadedReplay(session, watch, [&] { session.replay.LoadFrom(logPath, trialNum); });
}

ReplayOutcome RunSessionReplay(TrialSession& session, const TrialLogText& log, int trialNum, const ReplayWatch& watch)
{
    return RunLoadedReplay(session, watch, [&] { session.replay.LoadFrom(log, trialNum); });
}

ReplayOutcome RunLoadedReplay(TrialSession& session, const ReplayWatch& watch, const std::function<void()>& load)
{
    ReplayOutcome outcome;
    FaultLog faults;
    const Observing observingFaults(session, &faults);
    DeadlineWatch deadlines(session, watch);
    const Observing observingDeadlines(session, watch.deadlineJudged ? &deadlines : nullptr);
    session.replay.recordApplied = watch.recordApplied;
    if (session.trial.LoadPlant()) load();
    if (!faults.faults.empty()) {
        outcome.fault = faults.faults.front();
        session.replay.recordApplied = nullptr;
        return outcome;
    }
    if (watch.setUp) watch.setUp(session.plant());
    long long ticks = 0;
    if (session.phase == TrialPhase::ReplayLoaded) {
        session.replay.Play();
        TickScript script;
        script.tickEnded = watch.tickEnded;
        ticks = TickWhileRunning(session, 1000000, script);
    }
    // A STOP record ends a replay before its end time; a log cut off ends it
    // at its last record.
    outcome.endedByStop = session.runEnd == RunEnd::ByStopRecord;
    if (session.runEnd == RunEnd::LogCutOff) outcome.cutOffAt = session.plant().Clock;
    outcome.trial = OutcomeOf(session, ticks);
    session.replay.recordApplied = nullptr;
    return outcome;
}

TrialOutcome RunHeadlessTrial(const ScenarioTables& tables, const HeadlessOptions& options)
{
    MemoryStore store(tables);
    ParticipantState participant;
    participant.UserID = options.userId;
    TrialSession session(participant, store, options.logFolder);
    session.writeTrialLog = !options.logFolder.empty();
    session.decisionChoice = options.decisionMethod;
    session.engine.random().Seed(options.seed);
    return RunSessionTrial(session, options.maxTicks).trial;
}

ParticipantTrial RunParticipantTrial(ParticipantState& participant, ExperimentStore& store, const std::string& folder,
                                     std::uint64_t seed, long long maxTicks)
{
    TrialSession session(participant, store, folder);
    session.decisionChoice = 1;
    session.engine.random().Seed(seed);
    return RunSessionTrial(session, maxTicks);
}

ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const std::string& logPath, const std::string& workFolder)
{
    return ReplayLogFile(tables, logPath, workFolder, ReplayWatch{});
}

namespace {
template <typename Log>
ReplayOutcome ReplayInOwnSession(const ScenarioTables& tables, const Log& log, const std::string& workFolder,
                                 const ReplayWatch& watch)
{
    MemoryStore store(tables);
    ParticipantState participant;
    participant.UserID = "replay";
    participant.ReplayMode = true;
    participant.TrialNum = 1;
    TrialSession session(participant, store, workFolder);
    ReplayOutcome outcome = RunSessionReplay(session, log, 1, watch);
    session.CloseWindow();
    return outcome;
}
}  // namespace

ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const std::string& logPath, const std::string& workFolder,
                            const ReplayWatch& watch)
{
    return ReplayInOwnSession(tables, logPath, workFolder, watch);
}

ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const TrialLogText& log, const std::string& workFolder,
                            const ReplayWatch& watch)
{
    return ReplayInOwnSession(tables, log, workFolder, watch);
}

}  // namespace kestu
