#pragma once

#include <string>

#include "analysis/study_review.h"
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

// Where a log was read from, and the stored copies of a participant's logs,
// as the analysis library finds them.
using analysis::LogSource;
using analysis::LogSourceWord;
using analysis::StoredLogs;

}  // namespace kestu::ctl
