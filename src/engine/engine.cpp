#include "engine/engine.h"

#include <utility>

namespace kestu {

Engine::Engine(EngineConstants constants) : constants_(constants) {}

void Engine::SetArrivals(std::vector<ArrivalRow> rows, std::size_t nextRow)
{
    arrivals_ = std::move(rows);
    nextArrival_ = nextRow;
}

void Engine::NextSimTime()
{
    plant.Clock.Advance();
    display_->ShowClock(plant.Clock);
}

// A row applies only on the very second it names; a row whose time has gone
// by blocks itself and every row behind it.
void Engine::AutoAddWater()
{
    if (nextArrival_ >= arrivals_.size()) return;
    const ArrivalRow& row = arrivals_[nextArrival_];
    if (row.At != plant.Clock) return;
    for (int t = 0; t < TankCount; ++t) {
        plant.Tanks[t].Water += row.Water[t];
        display_->FillTank(t, WholeBuckets(plant.Tanks[t].Water));
    }
    ++nextArrival_;
    events_->WaterArrived(plant);
}

}  // namespace kestu
