#include "ui/captions.h"

#include <algorithm>

#include "data/database_location.h"
#include "trials/controls.h"
#include "trials/message_text.h"

namespace kestu::ui {

QString SimulateCaption(bool trialRunning)
{
    return trialRunning ? QStringLiteral("Stop Simul&ation") : QStringLiteral("Start Simul&ation");
}

QString FeedforwardCaption(bool snapshotPending)
{
    return snapshotPending ? QStringLiteral("&Restore FF") : QStringLiteral("&Feedforward");
}

QString ModeCaption(SimulatorMode mode)
{
    switch (mode) {
    case SimulatorMode::Training: return QStringLiteral("Training");
    case SimulatorMode::Replay: return QStringLiteral("Replay");
    case SimulatorMode::Experiment: break;
    }
    return QStringLiteral("Experiment");
}

QString TrialNumberCaption(std::optional<int> trial)
{
    return trial ? QString::number(*trial) : QStringLiteral("-");
}

QString DeadlineCaption(std::optional<ClockTime> deadline)
{
    if (!deadline) return QStringLiteral("- - : - -");
    return QString::fromStdString(FormatClock(*deadline));
}

QString SpeedCaption(int interval)
{
    return QString::number(SpeedMinutes(interval)) + QStringLiteral(" Minute Simulation");
}

namespace {
// A URL without the password of its user part ("user:secret@host") and
// without a "password=" option; a file path is left as it is.
std::string WithoutPassword(std::string text)
{
    if (!LooksLikeServerUrl(text)) return text;
    const std::size_t start = text.find("://") + 3;
    const std::size_t end = std::min(text.find_first_of("/?", start), text.size());
    const std::size_t at = text.rfind('@', end == 0 ? 0 : end - 1);
    if (at != std::string::npos && at >= start) {
        const std::size_t colon = text.find(':', start);
        if (colon < at) text.erase(colon, at - colon);
    }
    const std::size_t q = text.find('?');
    if (q == std::string::npos) return text;
    std::string kept;
    for (std::size_t at = q + 1; at <= text.size();) {
        const std::size_t next = std::min(text.find('&', at), text.size());
        const std::string option = text.substr(at, next - at);
        if (!option.empty() && option.rfind("password=", 0) != 0) kept += (kept.empty() ? "" : "&") + option;
        at = next + 1;
    }
    text.erase(q);
    if (!kept.empty()) text += "?" + kept;
    return text;
}
}  // namespace

QString SimulationTitle(const std::string& database)
{
    return QStringLiteral("Kestu Simulation - ") + QString::fromStdString(ForMessage(WithoutPassword(database), 300));
}

QString CutOffCaption(ClockTime lastRecord)
{
    return QStringLiteral("The trial's log ends at %1 with no STOP and before the trial's end: the trial was cut off "
                          "there, so the replay ends there.")
        .arg(QString::fromStdString(FormatClock(lastRecord)));
}

}  // namespace kestu::ui
