#pragma once

#include <array>

#include "engine/constants.h"

namespace kestu {

// One row of the water-arrival schedule: at clock Hr:Min, Water[t] buckets arrive into tank t.
struct ArrivalRow {
    int Hr = 0;
    int Min = 0;
    std::array<double, TankCount> Water{};
};

}  // namespace kestu
