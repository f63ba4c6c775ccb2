#include "kestuctl/tick_series.h"

#include "kestuctl/replay_run.h"

namespace kestu::ctl {

namespace {

bool IsMark(LogKind kind) { return kind == LogKind::Save || kind == LogKind::Restore || kind == LogKind::Stop; }

}  // namespace

TickSeries ReplayTickSeries(const ScenarioTables& tables, const std::string& logPath)
{
    TickSeries series;
    TickRow step;  // what the step under way has applied so far
    const auto endStep = [&](long long tick, const PlantState& plant) {
        step.tick = tick;
        step.clock = plant.Clock;
        for (int t = 0; t < TankCount; ++t) step.water[t] = plant.Tanks[t].Water;
        series.rows.push_back(std::move(step));
        step = TickRow{};
    };

    ReplayWatch watch;
    watch.setUp = [&](const PlantState& plant) { endStep(0, plant); };
    watch.tickEnded = endStep;
    watch.recordApplied = [&](const LogRecord& record, const PlantState& plant) {
        ++step.recordsApplied;
        if (IsMark(record.Kind)) step.marks.push_back({record.Kind, plant.Clock});
    };
    watch.deadlineJudged = [&](const PlantState& plant, int tank) {
        const TankState& t = plant.Tanks[tank];
        series.judged.push_back({static_cast<long long>(series.rows.size()), tank, plant.Clock, t.ExpectAmt, t.Water});
    };
    series.replay = ReplayInScratch(tables, logPath, watch);
    return series;
}

}  // namespace kestu::ctl
