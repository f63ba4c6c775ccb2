#include "analysis/plant_moment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "analysis/plain_number.h"
#include "trials/trial_session.h"
#include "ui/fault_words.h"

namespace kestu::analysis {

namespace {

PlantMoment MomentOf(const TrialSession& session)
{
    const PlantState& p = session.plant();
    PlantMoment moment;
    moment.tick = session.ticksLived;
    moment.clock = p.Clock;
    moment.missedSoFar = session.missed.Total;
    moment.pumpsInUse = p.PumpsInUseShown;
    for (int t = 0; t < TankCount; ++t) moment.water[t] = p.Tanks[t].Water;
    moment.switches = p.Status;
    return moment;
}

}  // namespace

Result<PlantMoment> ReplayMoment(const ScenarioTables& tables, const TrialLogText& log, const MomentWanted& wanted)
{
    MemoryStore store(tables);
    ParticipantState participant{.UserID = "replay", .TrialNum = 1, .ReplayMode = true};
    TrialSession session(participant, store, std::string());
    std::optional<TrialFault> fault;
    CallbackObserver faults([&](const TrialEvent& e) { if (!fault) fault = e.Fault; },
                            KindBit(TrialEventKind::Fault));
    session.observers.Add(&faults);
    if (session.trial.LoadPlant()) session.replay.LoadFrom(log, 1);
    if (fault) return Result<PlantMoment>::Fail(FaultSentence(*fault));
    if (const auto* tick = std::get_if<long long>(&wanted)) {
        const auto reached = session.SeekReplay(*tick);
        if (!reached || *reached < *tick)
            return Result<PlantMoment>::Fail(log.name + ": the replay ends at tick " + std::to_string(session.ticksLived) +
                                             " (" + FormatClock(session.plant().Clock) + "), before tick " +
                                             std::to_string(*tick));
    } else {
        const ClockTime clock = std::get<ClockTime>(wanted);
        if (!session.SeekReplayToClock(clock))
            return Result<PlantMoment>::Fail(log.name + ": the replay's clock never shows " + FormatClock(clock));
    }
    return MomentOf(session);
}

std::string MomentText(const std::string& logName, const PlantMoment& m)
{
    std::string text = logName + " at " + FormatClock(m.clock) + " (tick " + std::to_string(m.tick) + ")\n";
    text += "missed so far: " + std::to_string(m.missedSoFar) + "\n";
    text += "pumps in use: " + std::to_string(m.pumpsInUse) + "\n";
    text += "tank water switches\n";
    for (int t = 0; t < TankCount; ++t) {
        text += std::to_string(t) + " " + PlainNumber(m.water[t]) + " " +
                std::string(LogWord(KindOf(m.switches[2 * t]))) + " " +
                std::string(LogWord(KindOf(m.switches[2 * t + 1]))) + "\n";
    }
    return text;
}

std::string MomentJson(const std::string& logName, const PlantMoment& m)
{
    QJsonObject object;
    object["log"] = QString::fromStdString(logName);
    object["tick"] = static_cast<double>(m.tick);
    object["clock"] = QString::fromStdString(FormatClock(m.clock));
    object["missedSoFar"] = static_cast<double>(m.missedSoFar);
    object["pumpsInUse"] = m.pumpsInUse;
    QJsonArray water, switches;
    for (double w : m.water) water.append(w);
    for (SwitchStatus s : m.switches) switches.append(QString::fromUtf8(LogWord(KindOf(s)).data(), LogWord(KindOf(s)).size()));
    object["water"] = water;
    object["switches"] = switches;
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kestu::analysis
