#include "engine/engine.h"

#include <utility>

namespace kestu {

Engine::Engine(EngineConstants constants) : constants_(constants) {}

void Engine::SetTimerRunning(bool running)
{
    if (timerRunning_ == running) return;
    timerRunning_ = running;
    if (hooks.timerChanged) hooks.timerChanged(running);
}

void Engine::SetArrivals(std::vector<ArrivalRow> rows, std::size_t nextRow)
{
    arrivals_ = std::move(rows);
    nextArrival_ = nextRow;
}

// One tick is one simulated second; the order of the steps decides the results.
void Engine::Simulate()
{
    ++plant.ElapsedTicks;
    AutoAddWater();
    if (hooks.yield) hooks.yield(YieldPoint::AfterArrival);
    PumpCycle();
    if (hooks.deadlineCheckpoint) hooks.deadlineCheckpoint();
    if (hooks.yield) hooks.yield(YieldPoint::AfterCheckpoint);
    // A trial ended, paused or stopped during this tick keeps its clock.
    if (timerRunning_) NextSimTime();
    if (hooks.replayStep) hooks.replayStep();
    if (hooks.yield) hooks.yield(YieldPoint::AfterReplay);
    PumpsInUse_Display();
    RandomDecision();
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
}

}  // namespace kestu
