#pragma once

#include <string>
#include <vector>

#include "data/db_values.h"
#include "trials/headless_trial.h"

namespace kestu::analysis {

// Shares are stored as doubles computed by the same code; this much room
// covers a value that went through text on its way into the table.
inline constexpr double ShareTolerance = 1e-9;

// One stored figure beside the replayed one.
struct FieldCheck {
    std::string field;  // the column of "Experiments", or "result" / "end"
    std::string stored;
    std::string replayed;
    bool agrees = false;
};

// Compares an "Experiments" row with the replay of its trial log:
// MissedBuckets exactly, BusyTime, SweepTime and IdleTime within
// ShareTolerance, an empty cell only with a figure that does not exist. A row
// with no result (the window closed before the end) agrees with a log that
// ends with an early STOP. A log cut off before the end time (no STOP) never
// agrees with a row that holds a result.
std::vector<FieldCheck> CompareWithReplay(const ExperimentRow& row, const ReplayOutcome& replay);

// A row that holds no result while its log did not end with an early STOP:
// the trial was cut off (its log ends before the end time with no STOP), or
// it reached its end and the program died before its results were stored.
// Nothing stored can be compared, and nothing disagrees.
bool IsIncomplete(const ExperimentRow& row, const ReplayOutcome& replay);

// A row that holds none of the four result figures.
bool HoldsNoResult(const ExperimentRow& row);

}  // namespace kestu::analysis
