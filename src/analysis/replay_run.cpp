#include "analysis/replay_run.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include "trials/file_sink.h"

namespace kestu::analysis {

namespace {

// A folder of its own under the system's temporary folder, removed with
// everything in it when it goes.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::error_code failed;
        std::string pattern = (std::filesystem::temp_directory_path(failed) / "kestu-replay-XXXXXX").string();
        if (failed) pattern = "/tmp/kestu-replay-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
        else reason_ = SystemReason(errno);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

}  // namespace

Result<ReplayOutcome> ReplayInScratch(const ScenarioTables& tables, const TrialLogText& log, const ReplayWatch& watch)
{
    // The log is checked first: its own name and the line and field at
    // fault, without the replay's words around them.
    TrialLogReader reader;
    if (Status opened = reader.OpenText(log.name, log.text); !opened) return opened.fault();
    const ScratchFolder scratch;
    if (scratch.path().empty())
        return Result<ReplayOutcome>::Fail("cannot make a temporary folder for the replay (" + scratch.reason() + ")");
    ReplayOutcome outcome = ReplayLogFile(tables, log, scratch.path(), watch);
    if (outcome.error.empty()) return outcome;
    std::string message = std::move(outcome.error);
    std::replace(message.begin(), message.end(), '\n', ' ');
    return Fault{std::move(message), log.name, {}, {}};
}

}  // namespace kestu::analysis
