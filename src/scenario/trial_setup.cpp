#include "scenario/trial_setup.h"

#include "scenario/scenario_rules.h"

namespace kestu {

Status CheckScenario(const ScenarioTables& tables)
{
    const std::vector<ScenarioFault> faults = ScenarioFaults(tables);
    if (faults.empty()) return Ok();
    return AsFault(faults.front());
}

ClockTime ResetPlantForTrial(Engine& engine, const ScenarioTables& tables, bool trainingMode)
{
    PlantState& p = engine.plant;
    p.ElapsedTicks = p.SweepPumpTicks = p.BusyPumpTicks = 0;
    p.PumpsAllocated = p.PumpsReleasing = 0;
    engine.PumpsInUse_Display();

    const ArrivalRow& first = tables.exogenous.front();
    for (int t = 0; t < TankCount; ++t) {
        p.Tanks[t].Water = first.Water[t];
        engine.display().FillTank(t, WholeBuckets(p.Tanks[t].Water));
        engine.display().PipeWater(t, false);
    }
    // One second before the first row, then one step, so the clock shows the row's time.
    p.Clock = {first.At.Minutes, first.At.Seconds - 1};
    engine.NextSimTime();

    const ClockTime end = LoadDeadlines(p, tables.deadline, trainingMode);

    for (int s = 0; s < SwitchCount; ++s) {
        p.SwitchTick[s] = 0;
        engine.SetSwitchStatus(s, SwitchStatus::Off);
        p.PumpState[s] = 0;
        p.PumpHandover[s] = -1;
    }
    engine.SetArrivals(tables.exogenous, 1);
    p.PumpsAllocated = 0;
    return end;
}

}  // namespace kestu
