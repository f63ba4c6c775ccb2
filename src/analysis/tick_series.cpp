#include "analysis/tick_series.h"

#include "analysis/replay_run.h"

namespace kestu::analysis {

namespace {

bool IsMark(LogKind kind) { return kind == LogKind::Save || kind == LogKind::Restore || kind == LogKind::Stop; }

}  // namespace

Result<TickSeries> ReplayTickSeries(const ScenarioTables& tables, const TrialLogText& log)
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
    auto replay = ReplayTrialLog(tables, log, watch);
    if (!replay) return replay.fault();
    series.replay = std::move(replay).value();
    return series;
}

}  // namespace kestu::analysis
