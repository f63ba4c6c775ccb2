#pragma once

#include <memory>
#include <string>

#include "engine/result.h"

namespace kestu {

namespace lockdetail {
class FileHold;
class ServerHold;
}

// Holds a participant for one running copy of the program, taken at login
// and given back when the program ends: a lock file beside an SQLite
// database, or a session lock on the study's server, which holds the
// participant for the whole lab.
//
// The lock file is held by the kernel (flock), so it is free the moment the
// copy that held it is gone, whatever the file holds: an empty file left by
// a kill, unreadable text or a dead process's number never lock anyone out.
// While held it names the holder's process and computer.
//
// The server lock lives on a connection of its own, in a thread of its own
// that keeps it alive: the server ends a session that stays silent (a seat
// whose network died, or that froze) within a minute, and the lock with it.
// When the connection is lost (a server restarted) the thread takes the
// lock again as soon as the server answers.
class ParticipantLock {
public:
    ~ParticipantLock();
    ParticipantLock(const ParticipantLock&) = delete;
    ParticipantLock& operator=(const ParticipantLock&) = delete;

    // The lock for `userId` of the study at `location`, or the message the
    // participant sees.
    static Result<std::unique_ptr<ParticipantLock>> Take(const std::string& location, const std::string& userId);

    // Makes sure the lock is still held, taking it again when it was lost;
    // fails with the message the participant sees when another copy holds
    // the participant now or the server cannot be reached. Called before
    // every trial is claimed.
    Status Reassert();

    // "<folder>/<UserID>.lock".
    static std::string LockPath(const std::string& dbPath, const std::string& userId);

    // The server's lock key for a User ID: a stable 63-bit hash.
    static long long ServerKey(const std::string& userId);

private:
    ParticipantLock();

    std::unique_ptr<lockdetail::FileHold> file_;
    std::unique_ptr<lockdetail::ServerHold> server_;
};

}  // namespace kestu
