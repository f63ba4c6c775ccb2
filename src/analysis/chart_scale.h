#pragma once

#include <vector>

namespace kestu::analysis {

// Axis ticks that a reader takes in at a glance.

// Round values (1, 2 or 5 times a power of ten) from `lo` up to at least
// `hi`, about `target` of them; the first is at or below lo, the last at or above hi.
std::vector<double> NiceTicks(double lo, double hi, int target);

// Clock ticks in seconds from 0 to at least `lastSecond`: steps of 5, 10, 15
// or 30 seconds or whole minutes (1, 2, 5, 10, 15, 30, 60), about `target` of them.
std::vector<int> ClockTicks(int lastSecond, int target);

}  // namespace kestu::analysis
