#pragma once

#include <array>
#include <optional>
#include <string>

#include "trials/headless_trial.h"

namespace kestu::ctl {

// What a replayed trial scored, as the replay command reports it. Pump-ticks
// count each of the five pumps per tick, so busy + cleaning + idle is five
// times the ticks that counted.
struct TrialFigures {
    std::string endClock;  // "08:00"
    bool endedByStop = false;
    long long ticks = 0;  // ticks the replay ran
    long long missedBuckets = 0;
    std::array<std::optional<int>, TankCount> missedPerTank{};  // empty where no deadline was judged
    long long busyTicks = 0, cleaningTicks = 0, idleTicks = 0;
    std::optional<PumpShares> shares;
};

TrialFigures FiguresOf(const ReplayOutcome& replay);

// The figures as lines of text, and as one JSON object.
std::string FiguresText(const std::string& logPath, const TrialFigures& figures);
std::string FiguresJson(const std::string& logPath, const TrialFigures& figures);

}  // namespace kestu::ctl
