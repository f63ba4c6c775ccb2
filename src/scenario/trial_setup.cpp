#include "scenario/trial_setup.h"

namespace kestu {

std::string CheckScenario(const ScenarioTables& tables)
{
    if (tables.exogenous.empty()) return "table \"exogenous\" has no rows";
    if (tables.deadline.empty()) return "table \"deadline\" has no rows";
    for (std::size_t r = 0; r < tables.exogenous.size(); ++r) {
        const ArrivalRow& row = tables.exogenous[r];
        for (int t = 0; t < TankCount; ++t) {
            if (!WaterFits(row.Water[t]))
                return "table \"exogenous\", row " + std::to_string(r + 1) + ": column \"" + std::to_string(t) +
                       "\" is not a number of buckets within -1E+12..1E+12";
        }
    }
    for (std::size_t r = 0; r < tables.deadline.size(); ++r) {
        const DeadlineRow& row = tables.deadline[r];
        const std::string where = "table \"deadline\", row " + std::to_string(r + 1) + ": ";
        if (row.TankNum < 0 || row.TankNum >= TankRecords) return where + "column \"TankNum\" is outside 0..23";
        if (row.Min < 0 || row.Min > 59) return where + "column \"Min\" is outside 0..59";
    }
    return {};
}

ClockTime ResetPlantForTrial(Engine& engine, const ScenarioTables& tables, bool trainingMode,
                             const std::function<void()>& between)
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
    p.SimMinutes = first.Hr;
    p.SimSeconds = first.Min - 1;
    engine.NextSimTime();

    if (between) between();
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
