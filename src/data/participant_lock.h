#pragma once

#include <memory>
#include <string>

#include "engine/result.h"

class QLockFile;

namespace kestu {

// Holds a participant for one running copy of the program, taken at login
// and given back when the program ends: a lock file beside an SQLite
// database, or a session lock on the study's server, which holds the
// participant for the whole lab. A lock left by a copy that crashed is taken
// over (the server drops a dead seat's session and its lock with it).
class ParticipantLock {
public:
    ~ParticipantLock();
    ParticipantLock(const ParticipantLock&) = delete;
    ParticipantLock& operator=(const ParticipantLock&) = delete;

    // The lock for `userId` of the study at `location`, or the message the
    // participant sees.
    static Result<std::unique_ptr<ParticipantLock>> Take(const std::string& location, const std::string& userId);

    // "<folder>/<UserID>.lock".
    static std::string LockPath(const std::string& dbPath, const std::string& userId);

    // The server's lock key for a User ID: a stable 63-bit hash.
    static long long ServerKey(const std::string& userId);

private:
    explicit ParticipantLock(std::unique_ptr<QLockFile> file);
    ParticipantLock(std::string connection, long long key);
    static Result<std::unique_ptr<ParticipantLock>> TakeOnServer(const std::string& url, const std::string& userId);

    std::unique_ptr<QLockFile> file_;
    std::string connection_;  // the server connection that holds the lock
    long long key_ = 0;
};

}  // namespace kestu
