#include "scenario/outlets.h"

namespace kestu {

std::string LoadOutlets(PlantState& plant, const std::vector<OutletRow>& rows)
{
    std::array<TankState, TankRecords> tanks{};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const OutletRow& row = rows[r];
        const std::string where = "table \"sorttable\", row " + std::to_string(r + 1) + ": ";
        if (row.head < 0 || row.head >= TankRecords) return where + "column \"head\" is outside 0..23";
        if (row.tail >= TankRecords) return where + "column \"tail\" is above 23";
        if (!(row.sorta >= 0 && row.sorta <= 1)) return where + "column \"sorta\" is outside 0..1";
        TankState& tank = tanks[row.head];
        if (tank.OutCount == MaxOutlets) return where + "tank " + std::to_string(row.head) + " has more than 10 outlets";
        ++tank.OutCount;
        tank.OutTo[tank.OutCount] = row.tail;
        tank.OutShare[tank.OutCount] = row.sorta;
    }
    for (int t = 0; t < TankCount; ++t) {
        TankState& tank = tanks[t];
        double sum = 0;
        for (int k = 1; k <= tank.OutCount; ++k) sum += tank.OutShare[k];
        if (sum == 1) continue;
        if (tank.OutCount == MaxOutlets)
            return "table \"sorttable\": tank " + std::to_string(t) + " has 10 outlets and no room for the remainder";
        ++tank.OutCount;
        tank.OutTo[tank.OutCount] = -1;
        tank.OutShare[tank.OutCount] = 1 - sum;
    }
    plant.Tanks = tanks;
    return {};
}

}  // namespace kestu
