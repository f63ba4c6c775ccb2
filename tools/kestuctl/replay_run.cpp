#include "kestuctl/replay_run.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

#include "kestuctl/logged_trial.h"
#include "ui/fault_words.h"

namespace kestu::ctl {

ReplayOutcome ReplayInScratch(const ScenarioTables& tables, const std::string& logPath)
{
    return ReplayInScratch(tables, logPath, ReplayWatch{});
}

ReplayOutcome ReplayInScratch(const ScenarioTables& tables, const std::string& logPath, const ReplayWatch& watch)
{
    ReplayOutcome outcome;
    const QFileInfo log(QString::fromStdString(logPath));
    if (!log.isFile()) {
        outcome.error = logPath + ": " + (log.exists() ? "is not a file" : "the trial log does not exist");
        return outcome;
    }
    // Read the log first: its own name and the line and field at fault, rather
    // than the replay's words about its scratch copy.
    const LoggedTrial logged = ReadLoggedTrial(logPath);
    if (!logged.error.empty()) {
        outcome.error = logged.error;
        return outcome;
    }
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        outcome.error = "cannot make a temporary folder for the replay (" + scratch.errorString().toStdString() + ")";
        return outcome;
    }
    outcome = ReplayLogFile(tables, logPath, scratch.path().toStdString(), watch);
    if (outcome.fault) outcome.error = FaultSentence(*outcome.fault);
    std::replace(outcome.error.begin(), outcome.error.end(), '\n', ' ');
    return outcome;
}

}  // namespace kestu::ctl
