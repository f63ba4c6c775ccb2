#pragma once

#include <QString>

#include <optional>
#include <string>

#include "scenario/deadlines.h"
#include "trials/participant.h"

namespace kestu::ui {

// The texts the simulation window shows for the trial operations' facts, in
// one place: what the core keeps as numbers, flags and enums.
QString SimulateCaption(bool trialRunning);
QString FeedforwardCaption(bool snapshotPending);
QString ModeCaption(SimulatorMode mode);
QString TrialNumberCaption(std::optional<int> trial);
QString DeadlineCaption(std::optional<ClockTime> deadline);
QString SpeedCaption(int interval);

// The simulation window's title: which database the study uses, the SQLite
// file's path or the server's URL as given, without any password it holds.
QString SimulationTitle(const std::string& database);

}  // namespace kestu::ui
