#include "ui/captions.h"

#include "trials/controls.h"

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

}  // namespace kestu::ui
