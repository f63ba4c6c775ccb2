#include "analysis/trial_figures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <iomanip>
#include <sstream>

#include "analysis/plain_number.h"
#include "scenario/deadlines.h"

namespace kestu::analysis {

TrialFigures FiguresOf(const ReplayOutcome& replay)
{
    const PlantState& plant = replay.trial.plant;
    TrialFigures f;
    f.endClock = FormatClock(plant.Clock);
    f.endedByStop = replay.endedByStop;
    f.cutOff = replay.cutOffAt.has_value();
    f.ticks = replay.trial.ticks;
    f.missedBuckets = replay.trial.missed.Total;
    f.missedPerTank = replay.trial.missed.PerTank;
    f.busyTicks = plant.BusyPumpTicks;
    f.cleaningTicks = plant.SweepPumpTicks;
    // Not clamped: the end tick is not counted in the elapsed ticks but its pump
    // work is, so idle can be a few ticks below zero, as the idle share is.
    f.idleTicks = plant.ElapsedTicks * PumpCount - f.busyTicks - f.cleaningTicks;
    f.shares = replay.trial.shares;
    return f;
}

namespace {

std::string HowItEnded(const TrialFigures& f)
{
    if (f.endedByStop) return " (stopped before the end time: the log ends with STOP)";
    if (f.cutOff) return " (the trial was cut off here: the log ends before the end time with no STOP)";
    return " (the trial's end time)";
}

}  // namespace

std::string FiguresText(const std::string& logPath, const TrialFigures& f, const std::string& source)
{
    std::ostringstream text;
    text << "log:             " << logPath
         << (source == "file" ? "" : " (the copy in table TrialLogs of the database)") << "\n"
         << "end clock:       " << f.endClock << HowItEnded(f) << "\n"
         << "missed buckets:  " << f.missedBuckets << "\n"
         << MissedPerTankLegend << "\n";
    std::ostringstream tanks, missed;
    for (int tank = 0; tank < TankCount; ++tank) {
        tanks << std::setw(5) << tank;
        missed << std::setw(5) << (f.missedPerTank[tank] ? std::to_string(*f.missedPerTank[tank]) : "-");
    }
    text << "  tank  " << tanks.str() << "\n  missed" << missed.str() << "\n";
    text << "pump-ticks:      busy " << f.busyTicks << ", cleaning " << f.cleaningTicks << ", idle " << f.idleTicks
         << "\n";
    if (f.shares) {
        text << "shares:          busy " << PlainNumber(f.shares->BusyTime) << ", cleaning "
             << PlainNumber(f.shares->SweepTime) << ", idle " << PlainNumber(f.shares->IdleTime) << "\n";
    } else {
        text << "shares:          none (no tick counted)\n";
    }
    return text.str();
}

std::string FiguresJson(const std::string& logPath, const TrialFigures& f, const std::string& source)
{
    QJsonObject object;
    object["log"] = QString::fromStdString(logPath);
    object["logSource"] = QString::fromStdString(source);
    object["endClock"] = QString::fromStdString(f.endClock);
    object["endedByStop"] = f.endedByStop;
    object["cutOff"] = f.cutOff;
    object["ticks"] = static_cast<double>(f.ticks);
    object["missedBuckets"] = static_cast<double>(f.missedBuckets);
    QJsonArray perTank;  // index = tank; null where no deadline was judged
    for (const auto& missed : f.missedPerTank) perTank.append(missed ? QJsonValue(*missed) : QJsonValue());
    object["missedPerTank"] = perTank;
    object["busyTicks"] = static_cast<double>(f.busyTicks);
    object["cleaningTicks"] = static_cast<double>(f.cleaningTicks);
    object["idleTicks"] = static_cast<double>(f.idleTicks);
    object["busyShare"] = f.shares ? QJsonValue(f.shares->BusyTime) : QJsonValue();
    object["cleaningShare"] = f.shares ? QJsonValue(f.shares->SweepTime) : QJsonValue();
    object["idleShare"] = f.shares ? QJsonValue(f.shares->IdleTime) : QJsonValue();
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kestu::analysis
