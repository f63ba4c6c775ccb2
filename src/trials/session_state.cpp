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

void SessionState::Notice(const std::string& text)
{
    if (host.notice)
        host.notice("Kestu Simulation", text);
    else
        Report(text);
}

void SessionState::Detail(const std::string& text)
{
    if (host.detail && !text.empty()) host.detail(text);
}

}  // namespace kestu
