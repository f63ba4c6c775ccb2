#pragma once

#include <string>

#include "data/experiment_db.h"
#include "trials/log_reader.h"

namespace kestu::ctl {

// How many stored logs were written out, and how many were already there.
struct WrittenLogs {
    std::size_t written = 0;
    std::size_t alreadyThere = 0;
};

// Writes the trial logs kept in table "TrialLogs" (one participant's, or
// all for an empty userId) into `folder` as USERID.N. A file of that name
// with the same bytes is left as it is; one with other bytes is never
// written over, and is a failure naming it.
Result<WrittenLogs> WriteStoredLogs(ExperimentDb& db, const std::string& userId, const std::string& folder);

// Where a trial's log was read from: its file, or the copy the database keeps
// in table "TrialLogs".
enum class LogSource { File, Database };
const char* LogSourceWord(LogSource source);  // "file", "database"

// A participant's logs as table "TrialLogs" keeps them, read once and looked
// up by trial number; nothing is written out to be replayed.
class StoredLogs {
public:
    StoredLogs(ExperimentDb& db, std::string userId);
    // Trial `trial`'s stored copy, named "USERID.N (the copy in table
    // "TrialLogs")" for messages: nothing when the table has none, a fault
    // when the table cannot be read.
    Result<std::optional<TrialLogText>> Fetch(long long trial);
    // The trial numbers of every stored copy, in stored order.
    Result<std::vector<long long>> Trials();

private:
    Status Read();

    ExperimentDb& db_;
    std::string userId_;
    std::optional<std::vector<TrialLogCopy>> logs_;
};

}  // namespace kestu::ctl
