#include "analysis/replay_run.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include "ui/fault_words.h"

namespace kestu::analysis {


Result<ReplayOutcome> ReplayTrialLog(const ScenarioTables& tables, const TrialLogText& log, const ReplayWatch& watch)
{
    // The log is checked first: its own name and the line and field at
    // fault, without the replay's words around them.
    TrialLogReader reader;
    if (Status opened = reader.OpenText(log.name, log.text); !opened) return opened.fault();
    // A replay writes no file, so it needs no folder of its own.
    ReplayOutcome outcome = ReplayLogFile(tables, log, std::string(), watch);
    if (!outcome.fault) return outcome;
    std::string message = FaultSentence(*outcome.fault);
    std::replace(message.begin(), message.end(), '\n', ' ');
    return Fault{std::move(message), log.name, {}, {}};
}

}  // namespace kestu::analysis
