#pragma once

// A study's behaviour as a BIDS dataset, in facts: each participant's label
// (the User ID made safe for file names), the questionnaire's answers, and per
// trial the events its log implies with the trial's speed, so that every
// onset is ticks × milliseconds per tick. Writing these as TSV and JSON is
// bids_files' job; nothing here formats a file.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/study_review.h"
#include "engine/clock_time.h"
#include "engine/result.h"
#include "engine/switch_status.h"
#include "scenario/scenario_tables.h"
#include "trials/log_reader.h"
#include "trials/trial_event.h"

namespace kestu {
class ExperimentDb;
}

namespace kestu::analysis {

// ---- Participant labels ----------------------------------------------------

// The User ID with everything but ASCII letters and digits left out; "x"
// when nothing is left.
std::string CleanLabel(std::string_view userId);

// Each User ID's label, in the order given. A User ID that is letters and
// digits already keeps it. The others get their cleaned form, or, where that
// is taken, the cleaned form followed by "x2", "x3", ... (the first free one).
// Labels are told apart without regard to case, so that no two participants'
// folders fall together on a file system that ignores case. The outcome
// depends only on the set of User IDs, never on their order: the IDs that
// keep theirs go first, each group by its bytes.
std::vector<std::string> BidsLabels(const std::vector<std::string>& userIds);

// ---- A trial's speed -------------------------------------------------------

// How a trial's milliseconds per tick were found.
enum class SpeedSource {
    RowTimes,  // the row's StartTime and EndTime over the ticks the trial lived, within its SimRate's range
    SimRate,   // the middle of the range its SimRate allows (no usable times)
};

struct TrialSpeed {
    int msPerTick = 0;
    SpeedSource source = SpeedSource::SimRate;
    int lowest = 0, highest = 0;  // the milliseconds per tick that give the row's SimRate
    double simRate = 0;           // the row's SimRate: whole minutes a 480-tick trial takes
};

// The milliseconds per tick the window may run at (its speed bar).
inline constexpr int SlowestMsPerTick = 3750;
inline constexpr int FastestMsPerTick = 125;

// The milliseconds per tick (lowest, highest) whose whole minutes are
// `simRate`, as the window records a trial's speed; nothing when no speed
// of the window gives it.
std::optional<std::pair<int, int>> MsPerTickRange(double simRate);

// The trial's milliseconds per tick from what its row keeps: the real time
// from StartTime to EndTime (hh:mm:ss, past midnight when EndTime is
// earlier) over `ticks`, rounded, when that lies within the SimRate's range;
// otherwise the middle of the range. Nothing when SimRate is missing or no
// speed of the window gives it.
std::optional<TrialSpeed> SpeedOfTrial(std::optional<double> simRate, const std::string& startTime,
                                       const std::string& endTime, long long ticks);

// ---- Events ----------------------------------------------------------------

// What each row of an events file stands for.
enum class BidsEventType {
    SetUp,             // the trial was set up (before its start; no time of its own is kept)
    Started,           // the start: tick 0
    Click,             // a switch was clicked and now shows `status`
    SnapshotSaved,
    SnapshotRestored,  // the plant went back to `restoredTo`
    Deadline,          // a tank's deadline was judged
    Ended,             // the trial reached its end time
    Stopped,           // the window was closed before the end (the log's STOP)
    CutOff,            // the log ends here with no STOP: what followed is not known
};
const char* BidsEventWord(BidsEventType type);  // "setup", "start", "click", ...
inline constexpr BidsEventType AllBidsEventTypes[] = {
    BidsEventType::SetUp,    BidsEventType::Started, BidsEventType::Click,   BidsEventType::SnapshotSaved,
    BidsEventType::SnapshotRestored, BidsEventType::Deadline, BidsEventType::Ended, BidsEventType::Stopped,
    BidsEventType::CutOff};

struct BidsEvent {
    BidsEventType type = BidsEventType::SetUp;
    long long tick = 0;     // ticks the trial had lived (a restore takes none back)
    ClockTime clock;        // the plant's clock
    std::optional<int> switchNum, tank;
    std::optional<SwitchStatus> status;
    std::optional<long long> owed, missed;  // a deadline's buckets still owed, and booked as missed
    long long missedTotal = 0;              // buckets missed so far
    std::optional<ClockTime> restoredTo;

    friend bool operator==(const BidsEvent&, const BidsEvent&) = default;
};

// The row an event of the trial's stream stands for; nothing for the events
// an events file leaves out (ticks, pumps, water, faults, a replay's pauses).
std::optional<BidsEvent> BidsEventOf(const TrialEvent& event);

// Replays the log and gathers its events, in the order they happened.
Result<std::vector<BidsEvent>> BidsEventsOfLog(const ScenarioTables& tables, const TrialLogText& log);

// Seconds from the start as text with three decimals: tick × msPerTick / 1000.
std::string OnsetSeconds(long long tick, int msPerTick);

// ---- The dataset -------------------------------------------------------------

struct BidsRun {
    long long trial = 0;  // the run's index: the participant's trial number
    TrialSpeed speed;
    std::vector<BidsEvent> events;
    LogSource source = LogSource::File;
};

// The questionnaire's answers the dataset keeps (no names: the dataset is for sharing).
struct BidsAnswers {
    std::optional<std::string> age, sex, schoolYear, major;
};

struct BidsParticipant {
    std::string userId;
    std::string label;
    BidsAnswers answers;
    std::vector<BidsRun> runs;  // by trial number
};

// A trial, or a participant, the dataset leaves out, and why (one plain sentence).
struct LeftOut {
    std::string userId;
    std::optional<long long> trial;
    std::string why;
};

struct BidsDataset {
    std::string task;
    std::vector<BidsParticipant> participants;  // only those with a run, in label order
    std::vector<LeftOut> leftOut;
    bool labelsChanged = false;  // some label differs from its User ID
};

// Reads every participant of the study at `location` (open as `db`), replays
// each trial's log (beside an SQLite file, or its copy in "TrialLogs") and
// gathers the dataset. A trial without a log, whose log cannot be read or
// replayed, whose number several rows share, or whose SimRate gives no
// speed, is left out with the reason; so is a log no row names. A fault only
// when the database cannot be read.
Result<BidsDataset> ReadBidsDataset(ExperimentDb& db, const std::string& location, const ScenarioTables& tables,
                                    const std::string& task);

}  // namespace kestu::analysis
