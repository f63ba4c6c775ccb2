#pragma once

// What the lab page shows, as one immutable snapshot: every seat's row with
// its alarms, the participants with their trials, and whether the database
// answers. Built by the thread that reads the database; the page's requests
// only ever read a finished snapshot.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/seat_status.h"

namespace kestu::lab {

// A seat silent this long while its trial runs is shown as silent.
inline constexpr double SilentAfterSeconds = 10.0;
// A seat that ended a trial gets this long to store the results before the
// page says it ended without them (the row is written just after the phase
// changes).
inline constexpr double ResultsGraceSeconds = 5.0;

enum class AlarmKind {
    Silent,          // no report for more than SilentAfterSeconds while Running
    OutboxWaiting,   // results kept on the seat, not yet in the database
    NoResults,       // the trial ended and its row holds no results
    LogDisagrees,    // the participant's last trial's row disagrees with its log
};

const char* AlarmWord(AlarmKind kind);  // "silent", "outbox", "no-results", "log-disagrees"

struct Alarm {
    AlarmKind kind;
    std::string text;  // one plain sentence, as the page shows it
};

// One "Experiments" row, as the participants' page lists it.
struct TrialLine {
    long long trial = 0;
    std::string date;                  // as stored
    std::optional<double> speed;       // "SimRate", milliseconds per tick
    std::optional<double> missed;      // empty while the trial has no result
    std::optional<double> busy, sweep, idle;
};

struct ParticipantLine {
    std::string userId;
    std::vector<TrialLine> trials;  // in order of their numbers
};

// What the alarms need besides the seat's own row.
struct TrialVerdict {
    bool checked = false;    // a log was found and replayed
    bool disagrees = false;  // its row and its replay do not match
    std::string why;         // the first field that differs, or why the log cannot be replayed
};

struct SeatTile {
    SeatRow row;
    double silentFor = 0;  // seconds since its last report, by the database's clock
    std::vector<Alarm> alarms;
};

struct LabSnapshot {
    long long serial = 0;          // rises with every snapshot
    std::string database;          // how the database is named to the experimenter
    bool answering = false;        // the last poll succeeded
    std::string notAnsweringSince; // local time of the first failed poll, when not answering
    std::string fault;             // why the last poll failed
    double now = 0;                // the database's clock at the last good poll
    std::vector<SeatTile> seats;
    std::vector<ParticipantLine> participants;
    std::string json;              // the snapshot as the page's script reads it
};

// The rows of "Experiments" by participant and trial number, as read.
using TrialsByUser = std::map<std::string, std::vector<TrialLine>>;

// Since when (database clock) each seat has been seen Ended without results;
// kept between polls so that a seat gets ResultsGraceSeconds to store them.
using EndedSince = std::map<std::string, double>;

// The alarms of one seat. `lastVerdict` is the check of its participant's
// last trial with a result, when one was made.
std::vector<Alarm> SeatAlarms(const SeatRow& row, double now, const TrialsByUser& trials,
                              const std::optional<TrialVerdict>& lastVerdict, EndedSince& endedSince);

// The participant's last trial that holds a result, or nothing.
const TrialLine* LastTrialWithResult(const TrialsByUser& trials, const std::string& userId);

// The snapshot as JSON: {"serial", "database", "answering", "notAnsweringSince",
// "fault", "now", "seats": [{..., "alarms": [{"kind", "text"}]}], "alarmCount"}.
std::string SnapshotJson(const LabSnapshot& snapshot);

}  // namespace kestu::lab
