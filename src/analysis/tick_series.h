#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/result.h"
#include "trials/headless_trial.h"

namespace kestu::analysis {

// A snapshot or stop record the replay applied, with the clock the plant
// shows right after it: the save's time, the time a restore went back to,
// the stop's time.
struct SeriesMark {
    LogKind kind = LogKind::Stop;
    ClockTime clock;
};

// The plant at one moment of a replay: row 0 right after the setup, row k at
// the end of tick k.
struct TickRow {
    long long tick = 0;
    ClockTime clock;
    std::array<double, TankCount> water{};
    int recordsApplied = 0;         // log records applied in this step, marks included
    std::vector<SeriesMark> marks;  // the FF, FFR and STOP records among them, in order
};

// A deadline as the replay judged it: the buckets still owed are what the
// results count as missed for the tank.
struct JudgedDeadline {
    long long tick = 0;
    int tank = 0;
    ClockTime clock;
    int owed = 0;
    double water = 0;
};

struct TickSeries {
    std::vector<TickRow> rows;
    std::vector<JudgedDeadline> judged;  // in the order judged; a restore may judge a tank again
    ReplayOutcome replay;                // how it ended
};

// Replays the log as ReplayTrialLog does and keeps the plant of every tick;
// the fault says why the log cannot be replayed.
Result<TickSeries> ReplayTickSeries(const ScenarioTables& tables, const TrialLogText& log);

}  // namespace kestu::analysis
