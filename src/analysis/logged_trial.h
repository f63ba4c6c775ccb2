#pragma once

#include <string>
#include <vector>

#include "engine/result.h"
#include "trials/log_reader.h"

namespace kestu::analysis {

// Reads a trial log file whole, once; every use of the log then works on
// this text. The fault names the file: it does not exist, is not a file, or
// cannot be read.
Result<TrialLogText> ReadTrialLog(const std::string& path);

// Every record of a log with its state line, as the core's reader reads and
// checks them; the fault reads "<file>, line N: what".
Result<std::vector<LoggedRecord>> ReadLoggedTrial(const TrialLogText& log);

}  // namespace kestu::analysis
