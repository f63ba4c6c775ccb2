#include "kestuctl/stored_logs.h"

#include "kestuctl/trial_pairing.h"

#include <filesystem>

#include "trials/file_sink.h"
#include "trials/message_text.h"
#include "trials/trial_log.h"
#include "trials/participant.h"

namespace kestu::ctl {

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

const char* LogSourceWord(LogSource source) { return source == LogSource::File ? "file" : "database"; }

StoredLogs::StoredLogs(ExperimentDb& db, std::string userId, std::string folder)
    : db_(db), userId_(std::move(userId)), folder_(std::move(folder))
{
}

Result<std::optional<std::string>> StoredLogs::Fetch(long long trial)
{
    using Outcome = Result<std::optional<std::string>>;
    if (!logs_) {
        auto read = db_.ReadTrialLogs(userId_);
        if (!read) return Outcome::Fail(read.error());
        logs_ = std::move(read).value();
    }
    for (const TrialLogCopy& log : *logs_) {
        if (log.UserID != userId_ || log.Experiment != trial) continue;
        // A User ID that could reach outside the folder never names the file.
        const std::string name = IsValidUserId(userId_) ? TrialLogName(userId_, trial) : "trial." + std::to_string(trial);
        const std::string path = (std::filesystem::path(folder_) / name).string();
        const Status written = ReplaceFile(path, log.Bytes);
        if (!written) return Outcome::Fail(path + ": cannot be written (" + written.error() + ")");
        return Outcome::Ok(std::optional<std::string>(path));
    }
    return Outcome::Ok(std::nullopt);
}

}  // namespace kestu::ctl
