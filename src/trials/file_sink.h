#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/result.h"
#include <string_view>

namespace kestu {

// Where the bytes of a file we write go. The real sink is a file descriptor;
// tests put a sink in front of it that fails like a full disk.
class FileSink {
public:
    virtual ~FileSink() = default;
    // Writes every byte or fails; a failed write may have written a part.
    virtual bool Write(std::string_view bytes) = 0;
    // The bytes written so far are on the disk.
    virtual bool Sync() = 0;
    // Cuts the file back to `size` bytes (a torn record is taken back).
    virtual bool Truncate(long long size) = 0;
    virtual bool Close() = 0;
    // The system's reason for the last failure.
    virtual std::string Error() const = 0;
};

// Lets a test put its own sink in front of the real one.
using SinkWrapper = std::function<std::unique_ptr<FileSink>(std::unique_ptr<FileSink>)>;

// A sink over an open file descriptor, which it owns.
class FdSink : public FileSink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    ~FdSink() override;
    FdSink(const FdSink&) = delete;
    FdSink& operator=(const FdSink&) = delete;

    bool Write(std::string_view bytes) override;
    bool Sync() override;
    bool Truncate(long long size) override;
    bool Close() override;
    std::string Error() const override { return error_; }

private:
    bool Fail();
    int fd_;
    std::string error_;
};

// The process's file-creation mask, read without changing it where the
// system allows (from /proc/self/status).
unsigned ProcessUmask();

// Creates `path` for writing, with the mode the process's umask leaves of
// 0666; refuses (with the system's reason) when
// anything of that name exists, so an existing file is never touched.
Result<std::unique_ptr<FileSink>> CreateNewFile(const std::string& path, const SinkWrapper& wrap = {});

// Replaces `path` with `bytes` through a temporary file in the same folder:
// every write and the close are checked, the data is synced before the
// rename and the folder after it; nothing is renamed unless the sync
// succeeded. The file keeps the mode of the one it replaces; a new file gets
// the mode the process's umask leaves of 0666. On any failure the old file stays as it
// was and the temporary file is removed; the fault is the system's reason.
Status ReplaceFile(const std::string& path, std::string_view bytes, const SinkWrapper& wrap = {});

// Removes `path` when it is a regular file (or a link); anything else of
// that name is left alone. True when no regular file of that name is left.
bool RemoveRegularFile(const std::string& path);

// Syncs the folder that holds `path`, so a rename or a new file survives a crash.
bool SyncParentFolder(const std::string& path);

// The whole content of a regular file of at most `maxBytes`; the fault is the
// system's reason, or that the file is not a regular one or is too large.
Result<std::string> ReadWholeFile(const std::string& path, long long maxBytes = 1LL << 30);

// The system's text for an errno value.
std::string SystemReason(int error);

}  // namespace kestu
