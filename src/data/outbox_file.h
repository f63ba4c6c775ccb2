#pragma once

// The outbox file's own operations, shared by appending and delivering:
// the lock beside it and the files its unreadable or refused entries are
// moved to.

#include <string>
#include <string_view>
#include <vector>

#include "engine/result.h"

namespace kestu {
class FileSink;
}

namespace kestu::outboxfile {

// Holds the outbox's lock file (flock) until destroyed.
class Lock {
public:
    // Waits up to `seconds` for the lock; the fault says whose it is and why not.
    static Result<Lock> Take(const std::string& outboxPath, int seconds = 60);
    Lock(Lock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Lock& operator=(Lock&&) = delete;
    ~Lock();

private:
    explicit Lock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// "<outbox>.<kind>-20261207T031500Z" for now, with "-2", "-3"... added while
// a file of that name exists.
std::string AsidePath(const std::string& outboxPath, std::string_view kind);

// Writes `bytes` to a new file (never over an existing one), synced with its folder.
Status WriteNewFile(const std::string& path, std::string_view bytes);

// Whether a step on `sink` was `done`; when not, fails with the sink's reason.
Status SinkOutcome(const FileSink& sink, bool done);

// The files beside the outbox that hold entries set aside or unread, sorted.
std::vector<std::string> WaitingFiles(const std::string& outboxPath);

}  // namespace kestu::outboxfile
