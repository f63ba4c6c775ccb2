#include "faulty_vfs.h"

#include <sqlite3.h>

#include <cstddef>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace kestu::testsupport {

int IoCounts::of(IoOp op) const
{
    switch (op) {
    case IoOp::Write: return writes;
    case IoOp::Sync: return syncs;
    case IoOp::Truncate: return truncates;
    case IoOp::Delete: return deletes;
    }
    return 0;
}

namespace {

// Everything the C callbacks share. SQLite may call them from any thread
// that uses a connection, hence the lock.
struct State {
    std::mutex lock;
    sqlite3_vfs* base = nullptr;  // the VFS that does the real work
    IoCounts counts;
    bool armed = false;
    IoFault fault;
    bool fired = false;
    bool flushToDisk = true;  // set once, before any file is opened
};

State& Shared()
{
    static State state;
    return state;
}

int FailureCode(IoOp op, IoFailure failure)
{
    if (failure == IoFailure::DiskFull) return SQLITE_FULL;
    switch (op) {
    case IoOp::Write: return SQLITE_IOERR_WRITE;
    case IoOp::Sync: return SQLITE_IOERR_FSYNC;
    case IoOp::Truncate: return SQLITE_IOERR_TRUNCATE;
    case IoOp::Delete: return SQLITE_IOERR_DELETE;
    }
    return SQLITE_IOERR;
}

// Counts one call and says what it should return instead of doing its work,
// or SQLITE_OK to let it through.
int Intercept(IoOp op)
{
    State& s = Shared();
    std::lock_guard<std::mutex> guard(s.lock);
    int count = 0;
    switch (op) {
    case IoOp::Write: count = ++s.counts.writes; break;
    case IoOp::Sync: count = ++s.counts.syncs; break;
    case IoOp::Truncate: count = ++s.counts.truncates; break;
    case IoOp::Delete: count = ++s.counts.deletes; break;
    }
    if (!s.armed) return SQLITE_OK;
    if (s.fired && s.fault.sticky) return FailureCode(op, s.fault.failure);
    if (!s.fired && op == s.fault.op && count == s.fault.nth) {
        s.fired = true;
        return FailureCode(op, s.fault.failure);
    }
    return SQLITE_OK;
}

// Our file handle, with the default VFS's handle right behind it in the
// memory SQLite allocates (szOsFile covers both).
struct FaultyFile {
    sqlite3_file base;
    sqlite3_file* real;
    bool watched;  // the main database or its journal
};

constexpr std::size_t RealOffset = (sizeof(FaultyFile) + 15) & ~std::size_t{15};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultyFile*>(file)->real; }
bool Watched(sqlite3_file* file) { return reinterpret_cast<FaultyFile*>(file)->watched; }
const sqlite3_io_methods* RealMethods(sqlite3_file* file) { return Real(file)->pMethods; }

int Close(sqlite3_file* file) { return RealMethods(file)->xClose(Real(file)); }

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset)
{
    return RealMethods(file)->xRead(Real(file), buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset)
{
    if (Watched(file)) {
        if (int rc = Intercept(IoOp::Write); rc != SQLITE_OK) return rc;
    }
    return RealMethods(file)->xWrite(Real(file), buffer, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size)
{
    if (Watched(file)) {
        if (int rc = Intercept(IoOp::Truncate); rc != SQLITE_OK) return rc;
    }
    return RealMethods(file)->xTruncate(Real(file), size);
}

int Sync(sqlite3_file* file, int flags)
{
    if (Watched(file)) {
        if (int rc = Intercept(IoOp::Sync); rc != SQLITE_OK) return rc;
        if (!Shared().flushToDisk) return SQLITE_OK;
    }
    return RealMethods(file)->xSync(Real(file), flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) { return RealMethods(file)->xFileSize(Real(file), size); }
int Lock(sqlite3_file* file, int level) { return RealMethods(file)->xLock(Real(file), level); }
int Unlock(sqlite3_file* file, int level) { return RealMethods(file)->xUnlock(Real(file), level); }
int CheckReservedLock(sqlite3_file* file, int* out) { return RealMethods(file)->xCheckReservedLock(Real(file), out); }
int FileControl(sqlite3_file* file, int op, void* arg) { return RealMethods(file)->xFileControl(Real(file), op, arg); }
int SectorSize(sqlite3_file* file) { return RealMethods(file)->xSectorSize(Real(file)); }
int DeviceCharacteristics(sqlite3_file* file) { return RealMethods(file)->xDeviceCharacteristics(Real(file)); }

int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out)
{
    if (RealMethods(file)->iVersion < 2) return SQLITE_IOERR_SHMMAP;
    return RealMethods(file)->xShmMap(Real(file), region, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags)
{
    if (RealMethods(file)->iVersion < 2) return SQLITE_IOERR_SHMLOCK;
    return RealMethods(file)->xShmLock(Real(file), offset, n, flags);
}
void ShmBarrier(sqlite3_file* file)
{
    if (RealMethods(file)->iVersion >= 2) RealMethods(file)->xShmBarrier(Real(file));
}
int ShmUnmap(sqlite3_file* file, int deleteFlag)
{
    if (RealMethods(file)->iVersion < 2) return SQLITE_OK;
    return RealMethods(file)->xShmUnmap(Real(file), deleteFlag);
}
// Memory-mapped pages are only ever read through, never written, so they
// pass straight on; a real file without them makes SQLite read normally.
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out)
{
    if (RealMethods(file)->iVersion < 3) {
        *out = nullptr;
        return SQLITE_OK;
    }
    return RealMethods(file)->xFetch(Real(file), offset, amount, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* pointer)
{
    if (RealMethods(file)->iVersion < 3) return SQLITE_OK;
    return RealMethods(file)->xUnfetch(Real(file), offset, pointer);
}

const sqlite3_io_methods FileMethods = {
    3,  // iVersion
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

sqlite3_vfs* Base() { return Shared().base; }

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    auto* ours = reinterpret_cast<FaultyFile*>(file);
    ours->base.pMethods = nullptr;
    ours->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + RealOffset);
    ours->real->pMethods = nullptr;
    ours->watched = (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_WAL)) != 0;
    const int rc = Base()->xOpen(Base(), name, ours->real, flags, outFlags);
    // SQLite closes a handle whose methods are set even when opening failed,
    // so ours are set exactly when the real ones are.
    if (ours->real->pMethods != nullptr) ours->base.pMethods = &FileMethods;
    return rc;
}

bool IsJournalName(const char* name)
{
    if (name == nullptr) return false;
    const std::size_t length = std::strlen(name);
    for (const char* suffix : {"-journal", "-wal"}) {
        const std::size_t n = std::strlen(suffix);
        if (length >= n && std::strcmp(name + length - n, suffix) == 0) return true;
    }
    return false;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir)
{
    if (IsJournalName(name)) {
        if (int rc = Intercept(IoOp::Delete); rc != SQLITE_OK) return rc;
    }
    return Base()->xDelete(Base(), name, syncDir);
}

int Access(sqlite3_vfs*, const char* name, int flags, int* out) { return Base()->xAccess(Base(), name, flags, out); }
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out)
{
    return Base()->xFullPathname(Base(), name, size, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return Base()->xDlOpen(Base(), name); }
void DlError(sqlite3_vfs*, int size, char* out) { Base()->xDlError(Base(), size, out); }
void (*DlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) { return Base()->xDlSym(Base(), handle, symbol); }
void DlClose(sqlite3_vfs*, void* handle) { Base()->xDlClose(Base(), handle); }
int Randomness(sqlite3_vfs*, int size, char* out) { return Base()->xRandomness(Base(), size, out); }
int Sleep(sqlite3_vfs*, int microseconds) { return Base()->xSleep(Base(), microseconds); }
int CurrentTime(sqlite3_vfs*, double* out) { return Base()->xCurrentTime(Base(), out); }
int GetLastError(sqlite3_vfs*, int size, char* out)
{
    return Base()->xGetLastError ? Base()->xGetLastError(Base(), size, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) { return Base()->xCurrentTimeInt64(Base(), out); }

sqlite3_vfs Vfs{};

}  // namespace

FaultyVfs::FaultyVfs(Flushing flushing)
{
    sqlite3_vfs* current = sqlite3_vfs_find(nullptr);
    if (current == nullptr) throw std::runtime_error("SQLite has no default VFS");
    if (current == &Vfs) throw std::logic_error("only one FaultyVfs may exist at a time");

    State& s = Shared();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.base = current;
        s.counts = {};
        s.armed = false;
        s.fired = false;
        s.flushToDisk = flushing == Flushing::ToDisk;
    }
    // Version 3 only adds overriding the base VFS's system calls, which stays its own business.
    Vfs = sqlite3_vfs{};
    Vfs.iVersion = current->iVersion < 2 ? current->iVersion : 2;
    Vfs.szOsFile = static_cast<int>(RealOffset) + current->szOsFile;
    Vfs.mxPathname = current->mxPathname;
    Vfs.zName = "kestu-faulty";
    Vfs.xOpen = Open;
    Vfs.xDelete = Delete;
    Vfs.xAccess = Access;
    Vfs.xFullPathname = FullPathname;
    Vfs.xDlOpen = DlOpen;
    Vfs.xDlError = DlError;
    Vfs.xDlSym = DlSym;
    Vfs.xDlClose = DlClose;
    Vfs.xRandomness = Randomness;
    Vfs.xSleep = Sleep;
    Vfs.xCurrentTime = CurrentTime;
    Vfs.xGetLastError = GetLastError;
    if (Vfs.iVersion >= 2) Vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    if (sqlite3_vfs_register(&Vfs, 1) != SQLITE_OK) throw std::runtime_error("cannot register the faulty VFS");
}

FaultyVfs::~FaultyVfs()
{
    sqlite3_vfs_unregister(&Vfs);
    sqlite3_vfs_register(Shared().base, 1);
}

void FaultyVfs::StartCounting()
{
    State& s = Shared();
    std::lock_guard<std::mutex> guard(s.lock);
    s.counts = {};
    s.armed = false;
    s.fired = false;
}

void FaultyVfs::Arm(const IoFault& fault)
{
    State& s = Shared();
    std::lock_guard<std::mutex> guard(s.lock);
    s.counts = {};
    s.fault = fault;
    s.armed = true;
    s.fired = false;
}

void FaultyVfs::Disarm()
{
    State& s = Shared();
    std::lock_guard<std::mutex> guard(s.lock);
    s.armed = false;
}

IoCounts FaultyVfs::counts() const
{
    State& s = Shared();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.counts;
}

bool FaultyVfs::fired() const
{
    State& s = Shared();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.fired;
}

}  // namespace kestu::testsupport
