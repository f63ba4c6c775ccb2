#include "trials/trial_session.h"

namespace kestu {

void TrialSession::Tick()
{
    PlantState& p = engine.plant;
    ++p.ElapsedTicks;
    engine.AutoAddWater();
    Yield(YieldPoint::AfterArrival);
    engine.PumpCycle();
    trial.DeadlineCheckPoint();
    Yield(YieldPoint::AfterCheckpoint);
    // A trial ended, paused or stopped during this tick keeps its clock. The
    // tick counts from here, so what happened before the clock's step is told
    // with the tick and the clock it happened at.
    ++ticksLived;
    if (Ticking()) engine.NextSimTime();
    if (participant.ReplayMode) replay.Step();
    Yield(YieldPoint::AfterReplay);
    engine.PumpsInUse_Display();
    engine.RandomDecision();
    Emit(TrialEventKind::TickEnded);
}

}  // namespace kestu
