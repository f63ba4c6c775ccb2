#pragma once

#include <string>
#include <vector>

#include "trials/log_reader.h"

namespace kestu::ctl {

// A whole trial log in memory, for commands that need every record at once
// (a chart spans the trial). The core's reader reads and checks it.
struct LoggedTrial {
    std::vector<LoggedRecord> records;
    std::string error;  // "<file>, line N: what" as the reader says it; empty when the log was read
};

LoggedTrial ReadLoggedTrial(const std::string& path);

}  // namespace kestu::ctl
