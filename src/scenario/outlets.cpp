#include "scenario/outlets.h"

#include "scenario/scenario_rules.h"

namespace kestu {

Status LoadOutlets(PlantState& plant, const std::vector<OutletRow>& rows)
{
    // The rows are checked whole first, so a refused table changes nothing.
    std::vector<ScenarioFault> faults;
    if (auto empty = EmptyTableFault(OutletTableRule(), rows.size())) faults.push_back(*empty);
    CheckOutletRows(rows, faults);
    if (!faults.empty()) return AsFault(faults.front());

    std::array<TankState, TankRecords> tanks{};
    for (const OutletRow& row : rows) {
        TankState& tank = tanks[row.head];
        ++tank.OutCount;
        tank.OutTo[tank.OutCount] = row.tail;
        tank.OutShare[tank.OutCount] = row.sorta;
    }
    for (int t = 0; t < TankCount; ++t) {
        TankState& tank = tanks[t];
        double sum = 0;
        for (int k = 1; k <= tank.OutCount; ++k) sum += tank.OutShare[k];
        if (sum == 1) continue;
        // The rules leave room for this entry: ten shares must add up to exactly 1.
        ++tank.OutCount;
        tank.OutTo[tank.OutCount] = -1;
        tank.OutShare[tank.OutCount] = 1 - sum;
    }
    plant.Tanks = tanks;
    return Ok();
}

}  // namespace kestu
