#include "trials/headless_trial.h"

#include <filesystem>

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

ParticipantTrial RunParticipantTrial(ParticipantState& participant, ExperimentStore& store, const std::string& folder,
                                     std::uint64_t seed, long long maxTicks)
{
    ParticipantTrial run;
    TrialSession session(participant, store, folder);
    session.host.report = [&run](const std::string&, const std::string& text) { run.messages.push_back(text); };
    session.decisionChoice = 1;
    session.engine.random().Seed(seed);
    if (!session.Form_Load()) return run;
    session.cmdSetup_Click();
    if (run.messages.empty()) session.cmdSimulate_Click();
    if (session.engine.TimerRunning()) run.trialNum = participant.TrialNum;
    while (session.engine.TimerRunning() && run.trial.ticks < maxTicks) {
        session.engine.Simulate();
        ++run.trial.ticks;
    }
    const bool reachedEnd = run.trialNum > 0 && !session.engine.TimerRunning() &&
                            ClockTime{session.plant().SimMinutes, session.plant().SimSeconds} == session.trialEnd;
    session.Form_Unload();
    run.completed = reachedEnd && run.messages.empty();
    run.trial.plant = session.plant();
    run.trial.missed = session.missed;
    run.trial.shares =
        ComputeShares(run.trial.plant.ElapsedTicks, run.trial.plant.BusyPumpTicks, run.trial.plant.SweepPumpTicks);
    return run;
}

ReplayOutcome ReplayLogFile(const ScenarioTables& tables, const std::string& logPath, const std::string& workFolder)
{
    namespace fs = std::filesystem;
    ReplayOutcome outcome;
    std::error_code failed;
    const std::string copy = (fs::path(workFolder) / "replay.1").string();
    fs::copy_file(logPath, copy, fs::copy_options::overwrite_existing, failed);
    if (failed) {
        outcome.error = logPath + ": the file cannot be read";
        return outcome;
    }

    MemoryStore store(tables);
    ParticipantState participant;
    participant.UserID = "replay";
    participant.ReplayMode = true;
    participant.TrialNum = 1;
    TrialSession session(participant, store, workFolder);
    session.host.report = [&](const std::string&, const std::string& text) {
        if (!outcome.error.empty()) return;
        outcome.error = text;
        // Name the log the caller gave, not the working copy.
        for (auto at = outcome.error.find(copy); at != std::string::npos; at = outcome.error.find(copy, at)) {
            outcome.error.replace(at, copy.size(), logPath);
            at += logPath.size();
        }
    };
    if (!session.Form_Load()) return outcome;
    session.replaySelection = "1";
    session.ReplaySetup();
    if (!outcome.error.empty()) return outcome;
    if (session.controls.PlayEnabled) {
        session.PlayButton_Click();
        while (session.engine.TimerRunning() && outcome.trial.ticks < 1000000) {
            session.engine.Simulate();
            ++outcome.trial.ticks;
        }
    }
    // The end time shows the setup and start buttons again; a STOP record does not.
    outcome.endedByStop = !session.controls.SimulateVisible;
    session.Form_Unload();
    outcome.trial.plant = session.plant();
    outcome.trial.missed = session.missed;
    const PlantState& p = outcome.trial.plant;
    outcome.trial.shares = ComputeShares(p.ElapsedTicks, p.BusyPumpTicks, p.SweepPumpTicks);
    return outcome;
}

}  // namespace kestu
