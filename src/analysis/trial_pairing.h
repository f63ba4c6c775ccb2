#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "data/db_values.h"

namespace kestu::analysis {

// The log of a participant's trial, "<USERID>.<N>", for any 64-bit trial
// number: a row's number is never narrowed to find its log.
std::string TrialLogName(const std::string& userId, long long trial);

// Trial numbers that more than one row holds, each with those rows' rowids.
std::map<long long, std::vector<long long>> SharedTrialNumbers(const std::vector<ExperimentRow>& rows);

// The regular files "<userId>.<digits>" in `folder` whose name is not the log
// of any of the rows, sorted by name.
std::vector<std::string> LogsWithoutRow(const std::filesystem::path& folder, const std::string& userId,
                                        const std::vector<ExperimentRow>& rows);
// The same among the logs `trials` of the participant (a database's copies):
// their names "<userId>.<N>" that no row names, sorted by name.
std::vector<std::string> LogsWithoutRow(const std::vector<long long>& trials, const std::string& userId,
                                        const std::vector<ExperimentRow>& rows);

}  // namespace kestu::analysis
