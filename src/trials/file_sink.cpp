#include "trials/file_sink.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestu {

std::string SystemReason(int error)
{
    char buffer[256];
    // The GNU strerror_r returns its text; it may or may not use the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text;
}

FdSink::~FdSink()
{
    if (fd_ >= 0) ::close(fd_);
}

bool FdSink::Fail()
{
    error_ = SystemReason(errno);
    return false;
}

bool FdSink::Write(std::string_view bytes)
{
    if (fd_ < 0) {
        errno = EBADF;
        return Fail();
    }
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Fail();
        if (n == 0) {
            errno = ENOSPC;
            return Fail();
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool FdSink::Sync()
{
    if (fd_ >= 0 && ::fdatasync(fd_) == 0) return true;
    // Character devices such as /dev/null cannot be synced; nothing is lost there.
    if (errno == EINVAL || errno == EROFS) return true;
    return Fail();
}

bool FdSink::Truncate(long long size)
{
    if (fd_ >= 0 && ::ftruncate(fd_, size) == 0 && ::lseek(fd_, size, SEEK_SET) == size) return true;
    return Fail();
}

bool FdSink::Close()
{
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 || Fail();
}

unsigned ProcessUmask()
{
    // The kernel's own record: reading it changes nothing, so another thread
    // creating a file meanwhile gets the mask it expects.
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        std::string status;
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
            if (got > 0) status.append(buffer, static_cast<std::size_t>(got));
        ::close(fd);
        const std::size_t at = status.find("\nUmask:");
        if (at != std::string::npos) {
            char* end = nullptr;
            const unsigned long mask = std::strtoul(status.c_str() + at + 8, &end, 8);
            if (end != status.c_str() + at + 8 && mask <= 0777) return static_cast<mode_t>(mask);
        }
    }
    // Without /proc the mask can only be read by setting it; it is put back at once.
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

Result<std::unique_ptr<FileSink>> CreateNewFile(const std::string& path, const SinkWrapper& wrap)
{
    // The kernel takes the process's umask off, as ReplaceFile does for a new file.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Fault{SystemReason(errno), path};
    std::unique_ptr<FileSink> sink = std::make_unique<FdSink>(fd);
    if (wrap) sink = wrap(std::move(sink));
    return sink;
}

bool SyncParentFolder(const std::string& path)
{
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return ok;
}

bool RemoveRegularFile(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) return true;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

Status ReplaceFile(const std::string& path, std::string_view bytes, const SinkWrapper& wrap)
{
    const auto fail = [&](std::string reason) { return Fault{std::move(reason), path}; };
    // A file replaced keeps its mode; a new one gets what the umask leaves of 0666.
    struct stat info {};
    mode_t mode = 0666 & ~ProcessUmask();
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return fail("it exists and is not a regular file");
        mode = info.st_mode & 07777;
    } else if (errno != ENOENT) {
        return fail(SystemReason(errno));
    }

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(SystemReason(errno));
    if (::fchmod(fd, mode) != 0) {
        const std::string reason = SystemReason(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(reason);
    }
    std::unique_ptr<FileSink> sink = std::make_unique<FdSink>(fd);
    if (wrap) sink = wrap(std::move(sink));

    const bool written = sink->Write(bytes) && sink->Sync();
    std::string error = written ? std::string{} : sink->Error();
    if (!sink->Close() && error.empty()) error = sink->Error();
    if (error.empty() && ::rename(temp.c_str(), path.c_str()) != 0) error = SystemReason(errno);
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return fail(error);
    }
    if (!SyncParentFolder(path)) return fail(SystemReason(errno));
    return Ok();
}

Result<std::string> ReadWholeFile(const std::string& path, long long maxBytes)
{
    const auto fail = [&](std::string reason) { return Fault{std::move(reason), path, {}, {}}; };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(SystemReason(errno));
    struct stat info {};
    std::string text;
    std::string reason;
    if (::fstat(fd, &info) != 0)
        reason = SystemReason(errno);
    else if (!S_ISREG(info.st_mode))
        reason = "it is not a regular file";
    else if (info.st_size > maxBytes)
        reason = "it is larger than " + std::to_string(maxBytes) + " bytes";
    char buffer[65536];
    while (reason.empty()) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0 && static_cast<long long>(text.size()) + got > maxBytes) reason = "it grew past its size limit";
        if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
        if (got == 0) break;
        if (got < 0 && errno != EINTR) reason = SystemReason(errno);
    }
    ::close(fd);
    if (!reason.empty()) return fail(reason);
    return text;
}

}  // namespace kestu
