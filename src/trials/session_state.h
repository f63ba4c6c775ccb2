#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "scenario/deadlines.h"
#include "scenario/results.h"
#include "trials/controls.h"
#include "trials/experiment_store.h"
#include "trials/participant.h"
#include "trials/trial_event.h"
#include "trials/trial_log.h"

namespace kestu {

struct WallClock {
    std::string Date;  // yyyy-mm-dd
    std::string Time;  // hh:mm:ss
};
WallClock SystemWallClock();

// This computer's name, as trial logs and the lab's seats record it.
std::string ThisComputer();

// Writes "Kestu 2026-12-07 03:15:00: " and the text's lines, each made
// printable, to standard error.
void WriteDetailToStandardError(const std::string& text);

// Where the tick lets the host run pending events: after the water arrival,
// after the deadline checkpoint, after the replay step.
enum class YieldPoint { AfterArrival = 1, AfterCheckpoint = 2, AfterReplay = 3 };

// What the window (or a headless runner) lends the trial operations.
struct SessionHost {
    // The technical detail behind a fault (a database's own text), for the
    // experimenter: standard error, once, with the time.
    std::function<void(const std::string& text)> detail = WriteDetailToStandardError;
    std::function<void()> controlsChanged;
    std::function<void()> restartTimer;  // the tick interval starts afresh
    std::function<void(bool running)> timerChanged;  // start or stop the tick source
    std::function<void(YieldPoint)> yield;           // let pending events run inside a tick
    std::function<WallClock()> now = SystemWallClock;
};

// What the trial lifecycle, the replay player and the snapshot keeper of one
// simulation window share: the plant engine, the trial's phase and the facts
// the window shows, the participant, the store, the trial's log and the
// observers of its events.
struct SessionState : private PlantEvents {
    SessionState(ParticipantState& participant, ExperimentStore& store, std::string programFolder,
                 EngineConstants constants);
    SessionState(const SessionState&) = delete;
    SessionState& operator=(const SessionState&) = delete;

    Engine engine;
    TrialPhase phase = TrialPhase::Idle;
    MissedTally missed;
    ClockTime trialEnd;
    SessionHost host;
    TrialObservers observers;
    RunEnd runEnd = RunEnd::NotEnded;  // how the last trial or replay ended
    long long ticksLived = 0;   // ticks whose clock step has run since the setup; a restore does not take them back
    int speedValue = 1937;      // the window's speed scroll bar
    int timerInterval = 1000;   // milliseconds per tick
    int decisionChoice = 0;     // 0 Interactive, 1 Random, as the option buttons show
    bool writeTrialLog = true;  // batch runs of the Random method write no log
    TrialLogWriter log;         // the Experiment trial's log while it is open

    // Facts the window shows beside the phase.
    bool snapshotPending = false;
    bool detailShown = false;
    std::optional<int> trialNumShown;  // none in Training ("-")
    std::array<std::optional<ClockTime>, 12> deadlinesShown;
    std::vector<int> replayChoices;

    ParticipantState& participant;
    ExperimentStore& store;
    const std::string programFolder;

    PlantState& plant() { return engine.plant; }
    const PlantState& plant() const { return engine.plant; }
    std::string ProgramPath(const std::string& fileName) const;

    // The tick source runs in these phases only.
    bool Ticking() const { return phase == TrialPhase::Running || phase == TrialPhase::ReplayPlaying; }
    void SetPhase(TrialPhase next);
    Controls controls() const;
    void Notify();

    TrialIdentity Identity() const;
    TrialEvent Event(TrialEventKind kind) const;
    void Emit(const TrialEvent& event) const
    {
        if (observers.Want(event.Kind)) observers.Tell(event);
    }
    void Emit(TrialEventKind kind) const
    {
        if (observers.Want(kind)) observers.Tell(Event(kind));
    }
    void EmitFault(TrialFault fault) const;
    void Detail(const std::string& text);

private:
    void SwitchClicked(const PlantState& plant, int switchNum, SwitchStatus status) override;
    void PumpChanged(const PlantState& plant, int switchNum, SwitchStatus status) override;
    void WaterArrived(const PlantState& plant) override;
    void EmitSwitch(TrialEventKind kind, int switchNum, SwitchStatus status) const;
};

}  // namespace kestu
