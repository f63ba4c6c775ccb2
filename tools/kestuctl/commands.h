#pragma once

#include <vector>

#include "kestuctl/command_line.h"

namespace kestu::ctl {

// One per file cmd_<name>.cpp.
extern const Command InitCommand;
extern const Command ImportScenarioCommand;
extern const Command ExportScenarioCommand;
extern const Command ExportCommand;
extern const Command ReplayCommand;
extern const Command RescoreCommand;
extern const Command Log2CsvCommand;
extern const Command BaselineCommand;
extern const Command PlotCommand;
extern const Command RunTrialCommand;
extern const Command FetchLogsCommand;
extern const Command SyncCommand;
extern const Command CopyDbCommand;
extern const Command ReportCommand;

// Every command, in the order the command list shows them.
const std::vector<const Command*>& AllCommands();

}  // namespace kestu::ctl
