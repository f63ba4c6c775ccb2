#include "analysis/rescore_check.h"

#include <cmath>
#include <optional>

#include "analysis/plain_number.h"
#include "scenario/deadlines.h"

namespace kestu::analysis {

namespace {

std::string Shown(const std::optional<double>& value) { return value ? PlainNumber(*value) : "(empty)"; }

FieldCheck Compare(const std::string& field, const std::optional<double>& stored, const std::optional<double>& replayed,
                   double tolerance)
{
    bool agrees = stored.has_value() == replayed.has_value();
    if (stored && replayed) agrees = std::fabs(*stored - *replayed) <= tolerance;
    return {field, Shown(stored), Shown(replayed), agrees};
}

}  // namespace

bool HoldsNoResult(const ExperimentRow& row)
{
    return !row.MissedBuckets && !row.BusyTime && !row.SweepTime && !row.IdleTime;
}

bool IsIncomplete(const ExperimentRow& row, const ReplayOutcome& replay)
{
    return HoldsNoResult(row) && !replay.endedByStop;
}

std::vector<FieldCheck> CompareWithReplay(const ExperimentRow& row, const ReplayOutcome& replay)
{
    const PlantState& plant = replay.trial.plant;
    const std::string stopped = "stopped at " + FormatClock(plant.Clock);
    if (!row.MissedBuckets && replay.endedByStop) return {{"result", "(empty)", stopped, true}};
    if (replay.cutOffAt) {
        const std::string cut = "cut off at " + FormatClock(*replay.cutOffAt);
        if (HoldsNoResult(row)) return {{"result", "(empty)", cut, true}};
        return {{"end", "reached", cut, false}};
    }

    std::vector<FieldCheck> checks;
    if (replay.endedByStop) checks.push_back({"end", "reached", stopped, false});
    const auto& shares = replay.trial.shares;
    auto share = [&](double PumpShares::*member) {
        return shares ? std::optional<double>((*shares).*member) : std::nullopt;
    };
    checks.push_back(Compare("MissedBuckets", row.MissedBuckets, static_cast<double>(replay.trial.missed.Total), 0));
    checks.push_back(Compare("BusyTime", row.BusyTime, share(&PumpShares::BusyTime), ShareTolerance));
    checks.push_back(Compare("SweepTime", row.SweepTime, share(&PumpShares::SweepTime), ShareTolerance));
    checks.push_back(Compare("IdleTime", row.IdleTime, share(&PumpShares::IdleTime), ShareTolerance));
    return checks;
}

}  // namespace kestu::analysis
