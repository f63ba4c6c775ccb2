#pragma once

#include <array>

#include "engine/clock_time.h"
#include "engine/constants.h"

namespace kestu {

// One row of the water-arrival schedule: at clock time At, Water[t] buckets arrive into tank t.
struct ArrivalRow {
    ClockTime At;
    std::array<double, TankCount> Water{};
};

}  // namespace kestu
