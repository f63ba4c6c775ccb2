#pragma once

#include <memory>
#include <string>

class QLockFile;

namespace kestu {

// Holds a participant for one running copy of the program: a lock file
// beside the experiment database, taken at login and given back when the
// program ends. A lock left by a copy that crashed is taken over.
class ParticipantLock {
public:
    ~ParticipantLock();
    ParticipantLock(const ParticipantLock&) = delete;
    ParticipantLock& operator=(const ParticipantLock&) = delete;

    // The lock for `userId` in the folder of the database at `dbPath`, or
    // nothing with `error` set to the message the participant sees.
    static std::unique_ptr<ParticipantLock> Take(const std::string& dbPath, const std::string& userId,
                                                 std::string& error);

    // "<folder>/<UserID>.lock".
    static std::string LockPath(const std::string& dbPath, const std::string& userId);

private:
    explicit ParticipantLock(std::unique_ptr<QLockFile> file);
    std::unique_ptr<QLockFile> file_;
};

}  // namespace kestu
