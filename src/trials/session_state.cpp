#include "trials/session_state.h"

#include <ctime>
#include <unistd.h>
#include <utility>

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

std::string ThisComputer()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
    return name;
}

SessionState::SessionState(ParticipantState& participant, ExperimentStore& store, std::string programFolder,
                           EngineConstants constants)
    : engine(constants), snapshotFolder(programFolder), participant(participant), store(store),
      programFolder(std::move(programFolder))
{
    engine.hooks.timerChanged = [this](bool running) {
        if (host.timerChanged) host.timerChanged(running);
    };
    engine.hooks.yield = [this](YieldPoint point) {
        if (host.yield) host.yield(point);
    };
}

std::string SessionState::ProgramPath(const std::string& fileName) const
{
    return programFolder.empty() ? fileName : programFolder + "/" + fileName;
}

void SessionState::Notify()
{
    if (host.controlsChanged) host.controlsChanged();
}

void SessionState::Report(const std::string& text)
{
    if (host.report) host.report("Kestu Simulation", text);
}

}  // namespace kestu
