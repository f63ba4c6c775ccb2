#include "data/participant_lock.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data/database_location.h"
#include "data/db_connect.h"
#include "data/db_internal.h"
#include "data/server_call_bound.h"
#include "trials/session_state.h"

namespace kestu {

using namespace dbdetail;

namespace {

std::string InUseMessage(const std::string& userId, const std::string& host)
{
    if (host.empty()) return "User ID " + userId + " is in use by another Kestu window.";
    if (host == ThisComputer() || host == S(QSysInfo::machineHostName()))
        return "User ID " + userId + " is in use by another Kestu window on this computer.";
    return "User ID " + userId + " is in use by another Kestu window on the computer " + host + ".";
}

std::string CannotHold(const std::string& userId, const std::string& why)
{
    return "User ID " + userId + " cannot be held for this window: " + why;
}

}  // namespace

namespace lockdetail {

// A lock file held with flock. The kernel lets go of it when the process
// ends however it ends, so what the file holds never decides anything: it
// only tells a refused copy who holds the participant ("PID\nkestu\nHOST\n").
class FileHold {
public:
    static Result<std::unique_ptr<FileHold>> Take(const std::string& path, const std::string& userId)
    {
        using Outcome = Result<std::unique_ptr<FileHold>>;
        // A holder that gives the lock back removes the file while still
        // holding it; whoever opened that file meanwhile gets a lock on a
        // file no longer there, sees so and tries again.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0) return Outcome::Fail(CannotHold(userId, "the lock file " + path + " cannot be written (" +
                                                                    std::strerror(errno) + ")."));
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const int error = errno;
                const std::string holder = HolderOf(fd);
                ::close(fd);
                if (error == EWOULDBLOCK) return Outcome::Fail(InUseMessage(userId, holder));
                return Outcome::Fail(CannotHold(userId, "the lock file " + path + " cannot be locked (" +
                                                            std::strerror(error) + ")."));
            }
            auto hold = std::unique_ptr<FileHold>(new FileHold(path, fd));
            if (!hold->StillTheFile()) continue;  // the destructor leaves the new file alone
            if (const Status written = hold->WriteOwner(); !written)
                return Outcome::Fail(
                    CannotHold(userId, "the lock file " + path + " cannot be written (" + written.error() + ")."));
            return Outcome::Ok(std::move(hold));
        }
        return Outcome::Fail(CannotHold(userId, "the lock file " + path + " keeps being replaced."));
    }

    ~FileHold()
    {
        if (StillTheFile()) ::unlink(path_.c_str());
        ::close(fd_);
    }

    // Whether the path still names the file this copy holds (not removed or
    // replaced by hand or by another program).
    bool StillTheFile() const
    {
        struct stat held {}, named {};
        return ::fstat(fd_, &held) == 0 && ::stat(path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
               held.st_ino == named.st_ino;
    }

    const std::string& path() const { return path_; }

private:
    FileHold(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

    // Fails with the system's reason.
    Status WriteOwner()
    {
        const std::string text = std::to_string(::getpid()) + "\nkestu\n" + ThisComputer() + "\n";
        if (::ftruncate(fd_, 0) != 0) return Status::Fail(std::strerror(errno));
        if (::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
            return Status::Fail(errno ? std::strerror(errno) : "short write");
        return Ok();
    }

    // The computer the lock file names (its third line), empty when it names none.
    static std::string HolderOf(int fd)
    {
        char buffer[1024];
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return {};
        std::string text(buffer, static_cast<std::size_t>(got));
        std::size_t start = 0;
        for (int line = 0; line < 2; ++line) {
            start = text.find('\n', start);
            if (start == std::string::npos) return {};
            ++start;
        }
        const std::string host = text.substr(start, text.find('\n', start) - start);
        for (const char c : host)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return {};
        return host.size() <= 255 ? host : std::string();
    }

    std::string path_;
    int fd_ = -1;
};

// The server's session lock, kept by a thread of its own on a connection of
// its own (a Qt connection is used only by the thread that made it).
//
// The session asks the server to notice a dead seat: TCP keepalives and a
// user timeout from the server's side, and, because a path that freezes
// (a hung router) acknowledges keepalives while it delivers nothing, an idle
// timeout that ends a session left silent. The thread speaks well inside it.
class ServerHold {
public:
    static constexpr std::chrono::seconds Heartbeat{10};
    static constexpr const char* IdleSessionTimeout = "30s";

    ServerHold(DatabaseLocation where, std::string userId)
        : where_(std::move(where)), userId_(std::move(userId)), key_(ParticipantLock::ServerKey(userId_))
    {
    }

    ~ServerHold()
    {
        {
            const std::lock_guard hold(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    Status Start()
    {
        thread_ = std::thread([this] { Run(); });
        return Ask();
    }

    Status Reassert() { return Ask(); }

private:
    // Has the thread make sure of the lock now; its answer.
    Status Ask()
    {
        std::unique_lock hold(mutex_);
        const unsigned ticket = ++asked_;
        wake_.notify_all();
        answered_.wait(hold, [&] { return answeredUpTo_ >= ticket; });
        return answer_;
    }

    void Run()
    {
        std::unique_lock hold(mutex_);
        while (!stopping_) {
            if (answeredUpTo_ < asked_) {
                const unsigned ticket = asked_;
                hold.unlock();
                const Status status = Ensure();
                hold.lock();
                answer_ = status;
                answeredUpTo_ = ticket;
                answered_.notify_all();
                continue;
            }
            if (wake_.wait_for(hold, Heartbeat, [&] { return stopping_ || answeredUpTo_ < asked_; })) continue;
            hold.unlock();
            Ensure();  // a heartbeat, or the lock taken again after a lost connection
            hold.lock();
        }
        hold.unlock();
        Release();
    }

    // The lock held: the session answers, or a new one has taken it again.
    Status Ensure()
    {
        const ServerCallBound bound;
        if (!connection_.empty()) {
            QString why;
            {
                QSqlQuery beat(QSqlDatabase::database(Q(connection_), false));
                if (beat.exec(QStringLiteral("SELECT 1"))) return Ok();
                why = beat.lastError().text();
            }
            ReportServerFault(where_.text + ": the connection that holds User ID " + userId_ + " was lost (" +
                              S(why) + ")");
            Drop(Q(connection_));
            connection_.clear();
            lost_ = true;
        }
        const Status taken = Take();
        if (taken) {
            if (lost_) ReportServerFault(where_.text + ": User ID " + userId_ + " is held again");
            lost_ = false;
            return taken;
        }
        if (!lost_) return taken;
        return Status::Fail(taken.error() + " This window lost its hold on the participant when its connection to "
                                            "the study's server was lost.");
    }

    Status Take()
    {
        const QString name = NewConnectionName();
        const Status connected = Connect(name, where_, OpenMode::ReadWrite, /*bare=*/true);
        if (!connected) {
            Drop(name);
            return Status::Fail(CannotHold(userId_, connected.error()));
        }
        const Status locked = Lock(name);
        if (locked) {
            connection_ = S(name);
            return locked;
        }
        Drop(name);
        return locked;
    }

    // Sets up the session of the connection `name` and takes the lock on it.
    Status Lock(const QString& name) const
    {
        QSqlQuery query(QSqlDatabase::database(name, false));
        if (const Status set = SessionSettings(query); !set)
            return Status::Fail(CannotHold(userId_, Message(where_.text, QString::fromStdString(set.error()))));
        query.prepare(QStringLiteral("SELECT pg_try_advisory_lock(?)"));
        query.addBindValue(QVariant::fromValue<qlonglong>(key_));
        if (!query.exec() || !query.next())
            return Status::Fail(CannotHold(
                userId_, Message(where_.text, "the lock cannot be taken (" + DriverText(query.lastError()) + ")")));
        if (!query.value(0).toBool()) return Status::Fail(InUseMessage(userId_, HolderHost(name)));
        return Ok();
    }

    // Fails with what went wrong, without the study's location.
    static Status SessionSettings(QSqlQuery& query)
    {
        if (!query.exec(QStringLiteral("SELECT current_setting('server_version_num')::int")) || !query.next())
            return Status::Fail("the server's version cannot be read (" + S(DriverText(query.lastError())) + ")");
        const int version = query.value(0).toInt();
        QString settings = QStringLiteral("SET tcp_keepalives_idle = 5; SET tcp_keepalives_interval = 2; "
                                          "SET tcp_keepalives_count = 3");
        if (version >= 120000) settings += QStringLiteral("; SET tcp_user_timeout = 10000");
        if (version >= 140000) settings += QStringLiteral("; SET idle_session_timeout = '%1'").arg(IdleSessionTimeout);
        if (!query.exec(settings))
            return Status::Fail("the lock's session cannot be set up (" + S(DriverText(query.lastError())) + ")");
        return Ok();
    }

    // The computer of the seat that holds the lock in this study's database,
    // as its connection names itself ("kestu@HOST"); empty when the server
    // does not say. Advisory locks are per database, while pg_locks lists
    // every database's: another study's seat holding the same User ID is
    // not the holder.
    std::string HolderHost(const QString& connection) const
    {
        QSqlQuery holder(QSqlDatabase::database(connection, false));
        holder.prepare(QStringLiteral(
            "SELECT a.application_name FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
            "WHERE l.locktype = 'advisory' AND l.granted AND l.objsubid = 1 "
            "AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database()) "
            "AND ((l.classid::bigint << 32) | l.objid::bigint) = ?"));
        holder.addBindValue(QVariant::fromValue<qlonglong>(key_));
        if (!holder.exec() || !holder.next()) return {};
        const QString name = holder.value(0).toString();
        return name.startsWith(QStringLiteral("kestu@")) ? S(name.mid(6)) : std::string();
    }

    void Release()
    {
        if (connection_.empty()) return;
        {
            const ServerCallBound bound;
            QSqlQuery unlock(QSqlDatabase::database(Q(connection_), false));
            unlock.prepare(QStringLiteral("SELECT pg_advisory_unlock(?)"));
            unlock.addBindValue(QVariant::fromValue<qlonglong>(key_));
            unlock.exec();  // closing the session below releases it in any case
        }
        Drop(Q(connection_));
        connection_.clear();
    }

    const DatabaseLocation where_;
    const std::string userId_;
    const long long key_;

    // Only the thread touches these.
    std::string connection_;  // the connection that holds the lock; empty while none does
    bool lost_ = false;       // the lock was held and its connection lost since

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable answered_;
    unsigned asked_ = 0;
    unsigned answeredUpTo_ = 0;
    Status answer_ = Ok();
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace lockdetail

ParticipantLock::ParticipantLock() = default;
ParticipantLock::~ParticipantLock() = default;

std::string ParticipantLock::LockPath(const std::string& dbPath, const std::string& userId)
{
    const QString folder = QFileInfo(QString::fromStdString(dbPath)).absolutePath();
    return (folder + "/" + QString::fromStdString(userId) + ".lock").toStdString();
}

long long ParticipantLock::ServerKey(const std::string& userId)
{
    // FNV-1a over a prefix and the User ID, kept to 63 bits so the key is a
    // positive bigint on the server.
    unsigned long long hash = 14695981039346656037ULL;
    for (const char c : "kestu-participant:" + userId) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return static_cast<long long>(hash >> 1);
}

Result<std::unique_ptr<ParticipantLock>> ParticipantLock::Take(const std::string& location, const std::string& userId)
{
    using Outcome = Result<std::unique_ptr<ParticipantLock>>;
    auto lock = std::unique_ptr<ParticipantLock>(new ParticipantLock());
    if (LooksLikeServerUrl(location)) {
        auto where = ParseDatabaseLocation(location);
        if (!where) return where.fault();
        lock->server_ = std::make_unique<lockdetail::ServerHold>(std::move(where).value(), userId);
        if (const Status taken = lock->server_->Start(); !taken) return Outcome::Fail(taken.error());
        return Outcome::Ok(std::move(lock));
    }
    auto file = lockdetail::FileHold::Take(LockPath(location, userId), userId);
    if (!file) return file.fault();
    lock->file_ = std::move(file).value();
    return Outcome::Ok(std::move(lock));
}

Status ParticipantLock::Reassert()
{
    if (server_) return server_->Reassert();
    if (!file_ || file_->StillTheFile()) return Ok();
    // The lock file was removed or replaced under this copy: take it again.
    const std::string path = file_->path();
    std::string userId = QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString();
    auto again = lockdetail::FileHold::Take(path, userId);
    if (!again) return Status::Fail(again.error());
    file_ = std::move(again).value();
    return Ok();
}

}  // namespace kestu
