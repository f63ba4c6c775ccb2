#include "engine/engine.h"

namespace kestu {

bool Engine::EligibleForRandom(int tank) const
{
    return plant.Tanks[tank].Water >= 1 && plant.PumpState[2 * tank] == 0 && plant.PumpState[2 * tank + 1] == 0;
}

// While fewer than five pumps are shown in use, click the even switch of a
// tank drawn with equal chance among those with water and no pump.
void Engine::RandomDecision()
{
    if (plant.DecisionMethod != 1 || plant.PumpsInUseShown >= PumpCount) return;
    int used = plant.PumpsInUseShown;
    while (used < PumpCount) {
        int eligible = 0;
        for (int t = 0; t < TankCount; ++t)
            if (EligibleForRandom(t)) ++eligible;
        if (eligible == 0) return;

        const float u = random_.Uniform();
        int r = static_cast<int>(static_cast<double>(eligible) * u + 1.0);
        if (r > eligible) r = eligible;

        for (int t = 0; t < TankCount; ++t) {
            if (!EligibleForRandom(t)) continue;
            if (r > 1) {
                --r;
                continue;
            }
            Switch_Click(2 * t);
            ++used;
            break;
        }
    }
}

}  // namespace kestu
