#pragma once

#include <vector>

#include "engine/arrivals.h"

namespace kestu {

// One row of "sorttable": a share of every bucket pumped out of tank head goes to tail.
struct OutletRow {
    int head = 0;
    int tail = -1;
    double sorta = 0;
};

// One row of "deadline": by clock time At, ExpectAmt buckets must have left tank TankNum.
struct DeadlineRow {
    int TankNum = 0;
    ClockTime At;
    int ExpectAmt = 0;
};

// The three scenario tables, rows in stored order.
struct ScenarioTables {
    std::vector<ArrivalRow> exogenous;
    std::vector<DeadlineRow> deadline;
    std::vector<OutletRow> sorttable;
};

}  // namespace kestu
