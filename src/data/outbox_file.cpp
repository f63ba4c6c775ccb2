#include "data/outbox_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "trials/file_sink.h"
#include "trials/utc_stamp.h"

namespace kestu::outboxfile {

Result<Lock> Lock::Take(const std::string& outboxPath, int seconds)
{
    const std::string path = outboxPath + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return Fault{path + ": the outbox's lock file cannot be opened (" + SystemReason(errno) + ")", path};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            ::close(fd);
            return Fault{path + ": the outbox cannot be locked (" + SystemReason(error) + ")", path};
        }
        if (std::chrono::steady_clock::now() >= until) {
            ::close(fd);
            return Fault{path + ": another program has held the outbox for " + std::to_string(seconds) +
                             " seconds; it is left to it",
                         path};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Lock(fd);
}

Lock::~Lock()
{
    if (fd_ >= 0) ::close(fd_);  // closing the last descriptor gives the lock back
}

std::string AsidePath(const std::string& outboxPath, std::string_view kind)
{
    const std::string base = outboxPath + "." + std::string(kind) + "-" + UtcStamp();
    std::string path = base;
    struct stat info {};
    for (int n = 2; ::lstat(path.c_str(), &info) == 0; ++n) path = base + "-" + std::to_string(n);
    return path;
}

Status WriteNewFile(const std::string& path, std::string_view bytes)
{
    auto created = CreateNewFile(path);
    if (!created) return Fault{path + ": cannot be written (" + created.error() + ")", path};
    FileSink& sink = *created.value();
    Status written = SinkOutcome(sink, sink.Write(bytes) && sink.Sync());
    const Status closed = SinkOutcome(sink, sink.Close());
    if (written) written = closed;
    if (written && !SyncParentFolder(path)) written = Status::Fail(SystemReason(errno));
    if (written) return Ok();
    ::unlink(path.c_str());
    return Fault{path + ": cannot be written (" + written.error() + ")", path};
}

Status SinkOutcome(const FileSink& sink, bool done)
{
    if (done) return Ok();
    return Status::Fail(sink.Error());
}

std::vector<std::string> WaitingFiles(const std::string& outboxPath)
{
    namespace fs = std::filesystem;
    const fs::path outbox(outboxPath);
    const std::string name = outbox.filename().string();
    std::vector<std::string> found;
    std::error_code error;
    const fs::path folder = outbox.has_parent_path() ? outbox.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string file = it->path().filename().string();
        if (file.rfind(name + ".unread-", 0) == 0 || file.rfind(name + ".undelivered-", 0) == 0)
            found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace kestu::outboxfile
