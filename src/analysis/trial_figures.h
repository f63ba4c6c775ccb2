#pragma once

#include <array>
#include <optional>
#include <string>

#include "trials/headless_trial.h"

namespace kestu::analysis {

// What a replayed trial scored, as the replay command reports it. Pump-ticks
// count each of the five pumps per tick, so busy + cleaning + idle is five
// times the ticks that counted.
struct TrialFigures {
    std::string endClock;  // "08:00"
    bool endedByStop = false;
    bool cutOff = false;   // the log has no STOP and ends before the end time, at endClock
    long long ticks = 0;  // ticks the replay ran
    long long missedBuckets = 0;
    std::array<std::optional<int>, TankCount> missedPerTank{};  // empty where the deadline was not judged
    long long busyTicks = 0, cleaningTicks = 0, idleTicks = 0;
    std::optional<PumpShares> shares;
};

TrialFigures FiguresOf(const ReplayOutcome& replay);

// The line above the missed figure of each tank. A tank the scenario gives
// no deadline row keeps the clock's zero as its deadline: it is judged at
// 00:00, when the trial starts then, owing nothing, and shows 0.
inline constexpr const char* MissedPerTankLegend =
    "missed per tank (- where the tank's deadline was not judged; "
    "0 for a tank without a deadline row, judged at 00:00 owing nothing):";

// The figures as lines of text, and as one JSON object. `source` says where
// the log was read: "file", or "database" for a copy kept in table TrialLogs.
std::string FiguresText(const std::string& logPath, const TrialFigures& figures, const std::string& source = "file");
std::string FiguresJson(const std::string& logPath, const TrialFigures& figures, const std::string& source = "file");

}  // namespace kestu::analysis
