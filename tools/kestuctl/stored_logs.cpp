#include "kestuctl/stored_logs.h"

#include "analysis/trial_pairing.h"

#include <filesystem>

#include "trials/file_sink.h"
#include "trials/message_text.h"
#include "trials/trial_log.h"
#include "trials/participant.h"

namespace kestu::ctl {

using namespace analysis;

Result<WrittenLogs> WriteStoredLogs(ExperimentDb& db, const std::string& userId, const std::string& folder)
{
    auto logs = db.ReadTrialLogs(userId);
    if (!logs) return logs.fault();
    WrittenLogs done;
    for (const TrialLogCopy& log : logs.value()) {
        // The User ID names a file: one that could reach outside the folder
        // is not written.
        if (!IsValidUserId(log.UserID) || log.Experiment < 1 || log.Experiment > 2147483647)
            return Result<WrittenLogs>::Fail(db.path() + ": table \"TrialLogs\" holds a log of User ID \"" +
                                             ForMessage(log.UserID, 40) + "\", trial " +
                                             std::to_string(log.Experiment) + ", which cannot name a file");
        const std::string path =
            (std::filesystem::path(folder) / TrialLogFileName(log.UserID, static_cast<int>(log.Experiment))).string();
        if (auto existing = ReadWholeFile(path)) {
            if (existing.value() != log.Bytes)
                return Result<WrittenLogs>::Fail(path + ": a different log of that name is there; it is never "
                                                        "written over");
            ++done.alreadyThere;
            continue;
        }
        const Status written = ReplaceFile(path, log.Bytes);
        if (!written) return Result<WrittenLogs>::Fail(path + ": cannot be written (" + written.error() + ")");
        ++done.written;
    }
    return done;
}

}  // namespace kestu::ctl
