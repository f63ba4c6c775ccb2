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
    if (!session.LoadPlant()) return outcome;
    session.SetUpTrial();
    session.StartOrStop();
    while (session.engine.TimerRunning() && outcome.ticks < options.maxTicks) {
        session.engine.Simulate();
        ++outcome.ticks;
    }
    session.CloseWindow();
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
    if (!session.LoadPlant()) return run;
    session.SetUpTrial();
    if (run.messages.empty()) session.StartOrStop();
    if (session.engine.TimerRunning()) run.trialNum = participant.TrialNum;
    while (session.engine.TimerRunning() && run.trial.ticks < maxTicks) {
        session.engine.Simulate();
        ++run.trial.ticks;
    }
    const bool reachedEnd = run.trialNum > 0 && !session.engine.TimerRunning() &&
                            ClockTime{session.plant().SimMinutes, session.plant().SimSeconds} == session.trialEnd;
    session.CloseWindow();
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
    if (!session.LoadPlant()) return outcome;
    session.replaySelection = "1";
    session.LoadReplay();
    if (!outcome.error.empty()) return outcome;
    if (session.controls.PlayEnabled) {
        session.PlayReplay();
        while (session.engine.TimerRunning() && outcome.trial.ticks < 1000000) {
            session.engine.Simulate();
            ++outcome.trial.ticks;
        }
    }
    // A STOP record ends a replay before its end time.
    outcome.endedByStop = session.runEnd != RunEnd::AtEndTime;
    session.CloseWindow();
    outcome.trial.plant = session.plant();
    outcome.trial.missed = session.missed;
    const PlantState& p = outcome.trial.plant;
    outcome.trial.shares = ComputeShares(p.ElapsedTicks, p.BusyPumpTicks, p.SweepPumpTicks);
    return outcome;
}

}  // namespace kestu
