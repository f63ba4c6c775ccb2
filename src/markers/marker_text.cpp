#include "markers/marker_text.h"

#include <nlohmann/json.hpp>

#include "trials/headless_trial.h"
#include "trials/message_text.h"

namespace kestu::markers {

namespace {

using Json = nlohmann::ordered_json;

const char* EventWord(TrialEventKind kind)
{
    switch (kind) {
    case TrialEventKind::SetUp: return "setup";
    case TrialEventKind::Started: return "start";
    case TrialEventKind::SwitchClicked: return "click";
    case TrialEventKind::SnapshotSaved: return "save";
    case TrialEventKind::SnapshotRestored: return "restore";
    case TrialEventKind::DeadlineJudged: return "deadline";
    case TrialEventKind::Ended: return "end";
    case TrialEventKind::StoppedEarly: return "stop";
    default: return nullptr;
    }
}

const char* StatusWord(SwitchStatus status)
{
    switch (status) {
    case SwitchStatus::On: return "on";
    case SwitchStatus::Off: return "off";
    case SwitchStatus::Clean: return "clean";
    case SwitchStatus::Queued: return "queued";
    }
    return "off";
}

// The status a switch record's click gave; none for the marks.
std::optional<SwitchStatus> StatusOfRecord(LogKind kind)
{
    switch (kind) {
    case LogKind::On: return SwitchStatus::On;
    case LogKind::Off: return SwitchStatus::Off;
    case LogKind::Clean: return SwitchStatus::Clean;
    case LogKind::Queued: return SwitchStatus::Queued;
    default: return std::nullopt;
    }
}

}  // namespace

TrialEventKinds MarkerKinds()
{
    TrialEventKinds kinds = 0;
    for (TrialEventKind kind : {TrialEventKind::SetUp, TrialEventKind::Started, TrialEventKind::SwitchClicked,
                                TrialEventKind::SnapshotSaved, TrialEventKind::SnapshotRestored,
                                TrialEventKind::DeadlineJudged, TrialEventKind::Ended, TrialEventKind::StoppedEarly})
        kinds |= KindBit(kind);
    return kinds;
}

std::optional<std::string> MarkerText(const TrialEvent& event)
{
    const char* word = EventWord(event.Kind);
    if (!word) return std::nullopt;
    // A replay's end at the last record of a log cut off is no trial's stop.
    if (event.Kind == TrialEventKind::StoppedEarly && event.How == RunEnd::LogCutOff) return std::nullopt;
    Json marker;
    marker["event"] = word;
    marker["user"] = event.Trial.UserID;
    marker["trial"] = event.Trial.TrialNum;
    marker["tick"] = event.Tick;
    marker["clock"] = FormatClock(event.Clock);
    switch (event.Kind) {
    case TrialEventKind::SetUp: marker["end"] = FormatClock(event.End); break;
    case TrialEventKind::SwitchClicked:
        marker["switch"] = event.Switch;
        marker["tank"] = event.Tank;
        marker["status"] = StatusWord(event.Status);
        break;
    case TrialEventKind::SnapshotRestored:
        marker["to"] = FormatClock(event.RestoredTo);
        marker["missed_total"] = event.MissedTotal;
        break;
    case TrialEventKind::DeadlineJudged:
        marker["tank"] = event.Tank;
        marker["owed"] = event.Owed;
        marker["missed"] = event.Missed;
        marker["missed_total"] = event.MissedTotal;
        break;
    case TrialEventKind::SnapshotSaved:
    case TrialEventKind::Ended:
    case TrialEventKind::StoppedEarly: marker["missed_total"] = event.MissedTotal; break;
    default: break;
    }
    // Bytes that are not UTF-8 (a User ID never has them) are replaced, never thrown over.
    return marker.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Result<std::vector<std::string>> MarkersOfLog(const ScenarioTables& tables, const TrialLogText& log,
                                              const std::string& userId, int trialNum)
{
    using Markers = Result<std::vector<std::string>>;
    TrialLogReader reader;
    if (Status opened = reader.OpenText(log.name, log.text); !opened) return opened.fault();
    std::vector<std::string> markers;
    const TrialIdentity recorded{userId, trialNum, SimulatorMode::Experiment};
    auto keep = [&](TrialEvent told) {
        told.Trial = recorded;
        if (auto text = MarkerText(told)) markers.push_back(std::move(*text));
    };
    // A click is told as its record has it: the status the trial's click
    // gave, whatever the replay's click gives at the end of the tick.
    CallbackObserver collect(keep, MarkerKinds() & ~KindBit(TrialEventKind::SwitchClicked));
    MemoryStore store(tables);
    ParticipantState participant;
    participant.UserID = userId;
    participant.ReplayMode = true;
    participant.TrialNum = trialNum;
    TrialSession session(participant, store, std::string());  // a replay writes no file
    ReplayWatch watch;
    watch.recordApplied = [&](const LogRecord& record, const PlantState&) {
        const auto status = StatusOfRecord(record.Kind);
        if (!status) return;
        TrialEvent click = session.Event(TrialEventKind::SwitchClicked);
        click.Clock = record.At;
        click.Switch = record.Switch;
        click.Tank = TankOf(record.Switch);
        click.Status = *status;
        keep(click);
    };
    session.observers.Add(&collect);
    const ReplayOutcome outcome = RunSessionReplay(session, log, trialNum, watch);
    session.observers.Remove(&collect);
    session.CloseWindow();
    if (outcome.fault) return Markers::Fail(log.name + ": the trial log cannot be replayed: " + outcome.fault->Reason);
    return markers;
}

}  // namespace kestu::markers
