#pragma once

#include <optional>
#include <string>
#include <vector>

#include "trials/controls.h"      // TrialPhase
#include "trials/participant.h"   // SimulatorMode

namespace kestu {

// What a seat tells the lab page about itself: one row of "SeatStatus".
struct SeatReport {
    std::string Seat;            // the seat's computer name, or the name its kestu.ini gives it
    std::string Version;         // the program's version
    std::string UserID;          // empty before a participant logs in
    int TrialNum = 0;            // 0 in Training and before a trial
    SimulatorMode Mode = SimulatorMode::Experiment;
    TrialPhase Phase = TrialPhase::Idle;
    long long ClockSeconds = 0;  // the plant's clock
    long long EndSeconds = 0;    // the trial's end time; 0 when none is set up
    long long MissedBuckets = 0; // missed so far
    int OutboxWaiting = 0;       // results kept on the seat, waiting for the database
};

// A row as the lab page reads it back. Mode and phase are the stored words,
// so that a row from a newer seat with a word this program does not know
// still shows.
struct SeatRow {
    std::string Seat, Version, UserID;
    int TrialNum = 0;
    std::string Mode, Phase;
    long long ClockSeconds = 0, EndSeconds = 0, MissedBuckets = 0;
    int OutboxWaiting = 0;
    double ReportedAt = 0;       // seconds since 1970-01-01 UTC, by the database's clock
};

// Every seat's row, with the database's clock read in the same call, so that
// the time since each report is measured on one clock.
struct SeatBoard {
    double Now = 0;              // seconds since 1970-01-01 UTC, by the database's clock
    std::vector<SeatRow> Seats;  // in order of their names
};

// The stored words: "Experiment", "Training", "Replay"; "Idle", "SetUp",
// "Running", "Ended", "CutShort", "ReplayLoaded", "ReplayPlaying",
// "ReplayPaused", "ReplayEnded".
const char* ModeWord(SimulatorMode mode);
const char* PhaseWord(TrialPhase phase);
std::optional<TrialPhase> PhaseOfWord(const std::string& word);

// Whether a phase is one in which the seat's clock should be moving.
inline bool PhaseTicks(TrialPhase phase)
{
    return phase == TrialPhase::Running || phase == TrialPhase::ReplayPlaying;
}

}  // namespace kestu
