#pragma once

#include <string>

#include "data/experiment_db.h"

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

}  // namespace kestu::ctl
