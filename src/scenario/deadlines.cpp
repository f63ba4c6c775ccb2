#include "scenario/deadlines.h"

namespace kestu {

ClockTime LoadDeadlines(PlantState& plant, const std::vector<DeadlineRow>& rows, bool trainingMode)
{
    for (TankState& tank : plant.Tanks) {
        tank.Deadline = {};
        tank.ExpectAmt = 0;
    }
    ClockTime end = trainingMode ? ClockTime{9999, 9999} : ClockTime{0, 0};
    for (const DeadlineRow& row : rows) {
        if (trainingMode ? row.At <= end : row.At >= end) end = row.At;
        TankState& tank = plant.Tanks[row.TankNum];
        tank.Deadline = row.At;
        tank.ExpectAmt = row.ExpectAmt;
    }
    return end;
}

}  // namespace kestu
