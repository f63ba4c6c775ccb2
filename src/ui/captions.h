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
// What a replay says when its log ends, at `lastRecord`, with neither a STOP
// nor the trial's end: the trial was cut off there (a crash, a failed write).
QString CutOffCaption(ClockTime lastRecord);

// The simulation window's title: which database the study uses, the SQLite
// file's path or the server's URL as given, without any password it holds.
QString SimulationTitle(const std::string& database);

}  // namespace kestu::ui
