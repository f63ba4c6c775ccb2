#include "trials/session_state.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <utility>

#include "trials/message_text.h"

namespace kestu {

WallClock SystemWallClock()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16], time[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    return {date, time};
}

void WriteDetailToStandardError(const std::string& text)
{
    const WallClock now = SystemWallClock();
    std::string out = "Kestu " + now.Date + " " + now.Time + ":";
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        // libpq indents its continuation lines with tabs.
        while (!line.empty() && (line.front() == '\t' || line.front() == ' ')) line.erase(0, 1);
        if (!line.empty()) out += " " + ForMessage(line, 2000);
        at = end + 1;
    }
    out += "\n";
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
}

std::string ThisComputer()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
    return name;
}

SessionState::SessionState(ParticipantState& participant, ExperimentStore& store, std::string programFolder,
                           EngineConstants constants)
    : engine(constants), participant(participant), store(store), programFolder(std::move(programFolder))
{
    engine.SetEvents(this);
}

std::string SessionState::ProgramPath(const std::string& fileName) const
{
    return programFolder.empty() ? fileName : programFolder + "/" + fileName;
}

void SessionState::SetPhase(TrialPhase next)
{
    const bool was = Ticking();
    phase = next;
    if (Ticking() != was && host.timerChanged) host.timerChanged(Ticking());
}

Controls SessionState::controls() const
{
    ControlInputs in;
    in.Phase = phase;
    in.Mode = participant.Mode();
    in.HowEnded = runEnd;
    in.FeedforwardOffered = participant.FeedforwardOn;
    in.DecisionMethod = engine.plant.DecisionMethod;
    in.SnapshotPending = snapshotPending;
    in.DetailShown = detailShown;
    in.ReplayPlayedAny = ticksLived > 0;
    in.TrialNumShown = trialNumShown;
    in.Deadlines = deadlinesShown;
    in.ReplayChoices = replayChoices;
    return ControlsFor(in);
}

void SessionState::Notify()
{
    if (host.controlsChanged) host.controlsChanged();
}

TrialIdentity SessionState::Identity() const
{
    const SimulatorMode mode = participant.Mode();
    const int trialNum = mode == SimulatorMode::Training ? 0 : trialNumShown.value_or(participant.TrialNum + 1);
    return {participant.UserID, trialNum, mode};
}

TrialEvent SessionState::Event(TrialEventKind kind) const
{
    TrialEvent event;
    event.Kind = kind;
    event.Trial = Identity();
    event.Clock = engine.plant.Clock;
    event.Tick = ticksLived;
    event.MissedTotal = missed.Total;
    event.Phase = phase;
    event.End = trialEnd;
    return event;
}

void SessionState::EmitFault(TrialFault fault) const
{
    TrialEvent event = Event(TrialEventKind::Fault);
    event.Fault = std::move(fault);
    observers.Tell(event);
}

void SessionState::Detail(const std::string& text)
{
    if (host.detail && !text.empty()) host.detail(text);
}

void SessionState::EmitSwitch(TrialEventKind kind, int switchNum, SwitchStatus status) const
{
    if (!observers.Want(kind)) return;
    TrialEvent event = Event(kind);
    event.Switch = switchNum;
    event.Tank = TankOf(switchNum);
    event.Status = status;
    observers.Tell(event);
}

// A click is what the trial log records, at the moment it changes the plant.
void SessionState::SwitchClicked(const PlantState& plant, int switchNum, SwitchStatus status)
{
    if (plant.TrialLogOn) log.WriteSwitchRecord(plant, status, switchNum);
    EmitSwitch(TrialEventKind::SwitchClicked, switchNum, status);
    if (status == SwitchStatus::Queued) EmitSwitch(TrialEventKind::PumpQueued, switchNum, status);
    if (status == SwitchStatus::Clean) EmitSwitch(TrialEventKind::PumpCleaning, switchNum, status);
}

void SessionState::PumpChanged(const PlantState&, int switchNum, SwitchStatus status)
{
    const TrialEventKind kind = status == SwitchStatus::Clean ? TrialEventKind::PumpCleaning
                                : status == SwitchStatus::On  ? TrialEventKind::PumpHandedOver
                                                              : TrialEventKind::PumpReleased;
    EmitSwitch(kind, switchNum, status);
}

void SessionState::WaterArrived(const PlantState&)
{
    Emit(TrialEventKind::WaterArrived);
}

}  // namespace kestu
