#include "kestuctl/lab_page/lab_board.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cmath>

namespace kestu::lab {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Seconds(double seconds) { return std::to_string(static_cast<long long>(std::floor(seconds))); }

const TrialLine* FindTrial(const TrialsByUser& trials, const std::string& userId, long long trial)
{
    const auto user = trials.find(userId);
    if (user == trials.end()) return nullptr;
    for (const TrialLine& line : user->second)
        if (line.trial == trial) return &line;
    return nullptr;
}

}  // namespace

const char* AlarmWord(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::Silent: return "silent";
    case AlarmKind::OutboxWaiting: return "outbox";
    case AlarmKind::NoResults: return "no-results";
    case AlarmKind::LogDisagrees: return "log-disagrees";
    }
    return "silent";
}

const TrialLine* LastTrialWithResult(const TrialsByUser& trials, const std::string& userId)
{
    const auto user = trials.find(userId);
    if (user == trials.end()) return nullptr;
    const TrialLine* last = nullptr;
    for (const TrialLine& line : user->second)
        if (line.missed && (!last || line.trial > last->trial)) last = &line;
    return last;
}

std::vector<Alarm> SeatAlarms(const SeatRow& row, double now, const TrialsByUser& trials,
                              const std::optional<TrialVerdict>& lastVerdict, EndedSince& endedSince)
{
    std::vector<Alarm> alarms;
    const double silentFor = now - row.ReportedAt;
    if (row.Phase == PhaseWord(TrialPhase::Running) && silentFor > SilentAfterSeconds)
        alarms.push_back({AlarmKind::Silent, "Silent for " + Seconds(silentFor) + " s while its trial runs."});
    if (row.OutboxWaiting > 0)
        alarms.push_back({AlarmKind::OutboxWaiting,
                          std::to_string(row.OutboxWaiting) +
                              (row.OutboxWaiting == 1 ? " trial's results wait" : " trials' results wait") +
                              " in the seat's outbox."});

    const bool endedExperiment = row.Phase == PhaseWord(TrialPhase::Ended) &&
                                 row.Mode == ModeWord(SimulatorMode::Experiment) && row.TrialNum > 0;
    const TrialLine* line = endedExperiment ? FindTrial(trials, row.UserID, row.TrialNum) : nullptr;
    if (endedExperiment && !(line && line->missed)) {
        const auto [since, added] = endedSince.try_emplace(row.Seat, now);
        if (now - since->second >= ResultsGraceSeconds)
            alarms.push_back({AlarmKind::NoResults, "Trial " + std::to_string(row.TrialNum) +
                                                        " ended and its row holds no results."});
    } else {
        endedSince.erase(row.Seat);
    }

    if (lastVerdict && lastVerdict->checked && lastVerdict->disagrees) {
        const TrialLine* last = LastTrialWithResult(trials, row.UserID);
        alarms.push_back({AlarmKind::LogDisagrees,
                          "Trial " + (last ? std::to_string(last->trial) : std::string("?")) +
                              "'s row disagrees with its log" +
                              (lastVerdict->why.empty() ? std::string(".") : " (" + lastVerdict->why + ").")});
    }
    return alarms;
}

std::string SnapshotJson(const LabSnapshot& snapshot)
{
    QJsonArray seats;
    int alarmCount = 0;
    for (const SeatTile& tile : snapshot.seats) {
        const SeatRow& r = tile.row;
        QJsonArray alarms;
        for (const Alarm& alarm : tile.alarms)
            alarms.append(QJsonObject{{"kind", AlarmWord(alarm.kind)}, {"text", Q(alarm.text)}});
        alarmCount += static_cast<int>(tile.alarms.size());
        seats.append(QJsonObject{
            {"seat", Q(r.Seat)},
            {"version", Q(r.Version)},
            {"user", Q(r.UserID)},
            {"trial", r.TrialNum},
            {"mode", Q(r.Mode)},
            {"phase", Q(r.Phase)},
            {"clock", static_cast<double>(r.ClockSeconds)},
            {"end", static_cast<double>(r.EndSeconds)},
            {"missed", static_cast<double>(r.MissedBuckets)},
            {"outbox", r.OutboxWaiting},
            {"silentFor", std::floor(tile.silentFor)},
            {"alarms", alarms},
        });
    }
    QJsonObject root{
        {"serial", static_cast<double>(snapshot.serial)},
        {"database", Q(snapshot.database)},
        {"answering", snapshot.answering},
        {"notAnsweringSince", Q(snapshot.notAnsweringSince)},
        {"fault", Q(snapshot.fault)},
        {"now", snapshot.now},
        {"seats", seats},
        {"alarmCount", alarmCount},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace kestu::lab
