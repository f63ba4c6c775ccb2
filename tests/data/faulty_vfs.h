#pragma once

// A failing disk for the database tests: an SQLite VFS that passes every call
// on to the default one, counts the calls that change the main database file
// or its rollback journal, and can make one of them fail.
//
// SQLite picks a connection's VFS when the file is opened, so the wrapper is
// made the process's default for as long as a FaultyVfs object lives, and only
// files opened meanwhile go through it. Qt's SQLite driver links the same
// shared libsqlite3 as the test program, so its connections are among them.
// Disarmed, the wrapper changes nothing but the counts.

namespace kestu::testsupport {

// The file system calls that can be made to fail. Delete is the removal of
// the journal, which is the moment a transaction commits.
enum class IoOp { Write, Sync, Truncate, Delete };

// What the failing call reports: a device error or a full disk.
enum class IoFailure { DeviceError, DiskFull };

struct IoCounts {
    int writes = 0;
    int syncs = 0;
    int truncates = 0;
    int deletes = 0;

    int of(IoOp op) const;
};

struct IoFault {
    IoOp op = IoOp::Write;
    int nth = 1;  // counted from 1 since Arm()
    IoFailure failure = IoFailure::DeviceError;
    // A device that stays broken: once the fault fires, every later write,
    // sync, truncate and journal removal fails too, so SQLite cannot repair
    // the file on the spot and leaves that to the next reader.
    bool sticky = false;
};

// Whether a sync that is let through reaches the disk. Tests look at what
// SQLite does, not at what survives a power cut, and skipping the flushes
// makes them several times faster; the syncs are counted and can fail either way.
enum class Flushing { ToDisk, Skipped };

class FaultyVfs {
public:
    // Registers the wrapper as the default VFS; only one may exist at a time.
    explicit FaultyVfs(Flushing flushing = Flushing::ToDisk);
    // Restores the previous default. Every connection opened through the
    // wrapper must be closed by then.
    ~FaultyVfs();
    FaultyVfs(const FaultyVfs&) = delete;
    FaultyVfs& operator=(const FaultyVfs&) = delete;

    // Zeroes the counts; no call fails.
    void StartCounting();
    // Zeroes the counts and makes the call `fault` describes fail.
    void Arm(const IoFault& fault);
    // No call fails any more; the counts go on.
    void Disarm();

    IoCounts counts() const;
    // Whether the armed fault has fired since Arm().
    bool fired() const;
};

}  // namespace kestu::testsupport
