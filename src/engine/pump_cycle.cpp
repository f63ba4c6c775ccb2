#include "engine/engine.h"

namespace kestu {

// Switches are handled in ascending order: shares delivered by switch i are
// already there for the higher-numbered switches of the receiving tank.
void Engine::PumpCycle()
{
    for (int i = 0; i < SwitchCount; ++i) {
        if (++plant.SwitchTick[i] != constants_.PumpCycleTicks) continue;
        plant.SwitchTick[i] = 0;
        const int t = TankOf(i);

        if (plant.PumpState[i] < 0 && ++plant.PumpState[i] == 0) {
            SetCycledStatus(i, SwitchStatus::Off);
            const int j = plant.PumpHandover[i];
            if (j == -1) {
                // The pump goes back to the pool; this switch's own entry leaves the queue.
                RemoveFromCleaningQueue(i);
            } else {
                plant.SwitchTick[j] = 0;
                plant.PumpState[j] = 1;
                SetCycledStatus(j, SwitchStatus::On);
                display_->PipeWater(TankOf(j), true);
                plant.PumpHandover[i] = -1;
            }
        }

        if (plant.PumpState[i] > 0) {
            TankState& tank = plant.Tanks[t];
            if (tank.Water < 1) {
                EnqueueCleaning(i);
                SetCycledStatus(i, SwitchStatus::Clean);
                if (GetSwitchStatus(PartnerOf(i)) != SwitchStatus::On) display_->PipeWater(t, false);
            } else {
                tank.Water -= 1;
                tank.ExpectAmt -= 1;
                display_->FillTank(t, WholeBuckets(tank.Water));
                for (int k = 1; k <= tank.OutCount; ++k) {
                    const int d = tank.OutTo[k];
                    if (d <= 0) continue;  // that share leaves the plant
                    plant.Tanks[d].Water += tank.OutShare[k];
                    display_->FillTank(d, WholeBuckets(plant.Tanks[d].Water));
                }
            }
        }
    }


    plant.PumpsAllocated = 0;
    plant.PumpsReleasing = 0;
    for (int i = 0; i < SwitchCount; ++i) {
        const int state = plant.PumpState[i];
        if (state < 0) ++plant.SweepPumpTicks;
        if (state > 0) ++plant.BusyPumpTicks;
        if (state != 0) ++plant.PumpsAllocated;
        if (state < 0 && plant.PumpHandover[i] == -1) ++plant.PumpsReleasing;
    }
}

}  // namespace kestu
