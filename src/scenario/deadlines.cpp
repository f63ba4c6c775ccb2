#include "scenario/deadlines.h"

namespace kestu {

ClockTime LoadDeadlines(PlantState& plant, const std::vector<DeadlineRow>& rows, bool trainingMode)
{
    for (TankState& tank : plant.Tanks) tank.DeadlineHr = tank.DeadlineMin = tank.ExpectAmt = 0;
    ClockTime end = trainingMode ? ClockTime{9999, 9999} : ClockTime{0, 0};
    for (const DeadlineRow& row : rows) {
        const ClockTime at{row.Hr, row.Min};
        if (trainingMode ? at <= end : at >= end) end = at;
        TankState& tank = plant.Tanks[row.TankNum];
        tank.DeadlineHr = row.Hr;
        tank.DeadlineMin = row.Min;
        tank.ExpectAmt = row.ExpectAmt;
    }
    return end;
}

namespace {
void AppendTwoDigits(std::string& out, int value)
{
    if (value >= 0 && value < 10) out += '0';
    out += std::to_string(value);
}
}  // namespace

std::string FormatClock(int minutes, int seconds)
{
    std::string text;
    AppendTwoDigits(text, minutes);
    text += ':';
    AppendTwoDigits(text, seconds);
    return text;
}

}  // namespace kestu
