#pragma once

#include <vector>

#include "analysis/tick_series.h"
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
extern const Command ServeCommand;
extern const Command ExportBidsCommand;
extern const Command MarkersCommand;

// The plot's and log2csv's pieces that the lab page serves as well.
// log2csv --every-tick's CSV of a replay.
std::string EveryTickCsv(const analysis::TickSeries& series);
// The chart leaves out tanks without a deadline row (judged at 00:00, nothing owed).
void KeepScheduledDeadlines(analysis::TickSeries& series, const std::vector<DeadlineRow>& rows);
// The line under the chart's title: how the replay ended, where the scenario came from.
std::string PlotSubtitle(const analysis::TickSeries& series, const std::string& dbPath);

// Every command, in the order the command list shows them.
const std::vector<const Command*>& AllCommands();

}  // namespace kestu::ctl
