#include "trials/trial_session.h"

namespace kestu {

void TrialSession::Tick()
{
    PlantState& p = engine.plant;
    ++p.ElapsedTicks;
    ++ticksLived;
    engine.AutoAddWater();
    Yield(YieldPoint::AfterArrival);
    engine.PumpCycle();
    trial.DeadlineCheckPoint();
    Yield(YieldPoint::AfterCheckpoint);
    // A trial ended, paused or stopped during this tick keeps its clock.
    if (Ticking()) engine.NextSimTime();
    if (participant.ReplayMode) replay.Step();
    Yield(YieldPoint::AfterReplay);
    engine.PumpsInUse_Display();
    engine.RandomDecision();
    Emit(TrialEventKind::TickEnded);
}

}  // namespace kestu
