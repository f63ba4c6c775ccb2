#include "trials/headless_trial.h"

namespace kestu {

TrialOutcome RunHeadlessTrial(const ScenarioTables& tables, const HeadlessOptions& options)
{
    MemoryStore store(tables);
    ParticipantState participant;
    participant.UserID = options.userId;
    TrialSession session(participant, store, options.logFolder);
    session.writeTrialLog = !options.logFolder.empty();
    session.decisionChoice = options.decisionMethod;
    session.engine.random().Seed(options.seed);

    TrialOutcome outcome;
    if (!session.Form_Load()) return outcome;
    session.cmdSetup_Click();
    session.cmdSimulate_Click();
    while (session.engine.TimerRunning() && outcome.ticks < options.maxTicks) {
        session.engine.Simulate();
        ++outcome.ticks;
    }
    session.Form_Unload();
    outcome.plant = session.plant();
    outcome.missed = session.missed;
    outcome.shares = ComputeShares(outcome.plant.ElapsedTicks, outcome.plant.BusyPumpTicks, outcome.plant.SweepPumpTicks);
    return outcome;
}

}  // namespace kestu
