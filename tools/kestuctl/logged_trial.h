#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/constants.h"

namespace kestu::ctl {

// One record of a trial log with its state line: the clock, the kind, the
// switch, and each tank's water and each switch's pump state as written.
struct LoggedRecord {
    int minute = 0;
    int second = 0;
    std::string kind;
    int switchNum = 0;
    std::array<double, TankCount> water{};
    std::array<int, SwitchCount> pumpState{};
};

struct LoggedTrial {
    std::vector<LoggedRecord> records;
    std::string error;  // "<file>:<line>: field N (name): what"; empty when the log was read
};

// Reads a whole trial log, header and state lines alike.
LoggedTrial ReadLoggedTrial(const std::string& path);

// Reads the text of a trial log; `path` only names the file in errors.
LoggedTrial ParseLoggedTrial(const std::string& path, const std::string& text);

}  // namespace kestu::ctl
