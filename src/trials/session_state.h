#pragma once

#include <functional>
#include <string>

#include "engine/engine.h"
#include "scenario/deadlines.h"
#include "scenario/results.h"
#include "trials/controls.h"
#include "trials/experiment_store.h"
#include "trials/participant.h"
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

// What the window (or a headless runner) lends the trial operations.
struct SessionHost {
    // A failure the participant must read.
    std::function<void(const std::string& title, const std::string& text)> report;
    // Something the participant is told while the trial goes on; without
    // one, it is reported as a failure would be.
    std::function<void(const std::string& title, const std::string& text)> notice;
    // The technical detail behind a message (a database's own text), for the
    // experimenter: standard error, once, with the time.
    std::function<void(const std::string& text)> detail = WriteDetailToStandardError;
    std::function<void()> controlsChanged;
    std::function<void()> restartTimer;  // the tick interval starts afresh
    std::function<void(bool running)> timerChanged;  // start or stop the tick source
    std::function<void(YieldPoint)> yield;           // let pending events run inside a tick
    std::function<WallClock()> now = SystemWallClock;
};

// What the trial lifecycle, the replay player and the snapshot keeper of one
// simulation window share: the plant engine, the facts the window shows, the
// participant, the store and the trial's log.
struct SessionState {
    SessionState(ParticipantState& participant, ExperimentStore& store, std::string programFolder,
                 EngineConstants constants);
    SessionState(const SessionState&) = delete;
    SessionState& operator=(const SessionState&) = delete;

    Engine engine;
    Controls controls;
    MissedTally missed;
    ClockTime trialEnd;
    SessionHost host;
    RunEnd runEnd = RunEnd::NotEnded;  // how the last trial or replay ended
    int speedValue = 1937;      // the window's speed scroll bar
    int timerInterval = 1000;   // milliseconds per tick
    int decisionChoice = 0;     // 0 Interactive, 1 Random, as the option buttons show
    std::string snapshotFolder; // the program's folder unless a replay tool moves it
    bool writeTrialLog = true;  // batch runs of the Random method write no log
    TrialLogWriter log;         // the Experiment trial's log while it is open

    ParticipantState& participant;
    ExperimentStore& store;
    const std::string programFolder;

    PlantState& plant() { return engine.plant; }
    std::string ProgramPath(const std::string& fileName) const;
    void Notify();
    void Report(const std::string& text);
    void Notice(const std::string& text);
    void Detail(const std::string& text);
};

}  // namespace kestu
