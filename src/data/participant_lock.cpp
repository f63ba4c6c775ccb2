#include "data/participant_lock.h"

#include <QFileInfo>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#include "data/db_connect.h"
#include "data/db_internal.h"
#include "trials/session_state.h"

namespace kestu {

using namespace dbdetail;

ParticipantLock::ParticipantLock(std::unique_ptr<QLockFile> file) : file_(std::move(file)) {}

ParticipantLock::ParticipantLock(std::string connection, long long key) : connection_(std::move(connection)), key_(key)
{
}

ParticipantLock::~ParticipantLock()
{
    if (file_) file_->unlock();
    if (connection_.empty()) return;
    {
        QSqlQuery unlock(QSqlDatabase::database(Q(connection_), false));
        unlock.prepare(QStringLiteral("SELECT pg_advisory_unlock(?)"));
        unlock.addBindValue(QVariant::fromValue<qlonglong>(key_));
        unlock.exec();  // closing the session below releases it in any case
    }
    Drop(Q(connection_));
}

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

namespace {

// The computer of the seat that holds `key`, as its connection names itself
// ("kestu@HOST"); empty when the server does not say.
std::string HolderHost(const QString& connection, long long key)
{
    QSqlQuery holder(QSqlDatabase::database(connection, false));
    holder.prepare(QStringLiteral(
        "SELECT a.application_name FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
        "WHERE l.locktype = 'advisory' AND l.granted AND l.objsubid = 1 "
        "AND ((l.classid::bigint << 32) | l.objid::bigint) = ?"));
    holder.addBindValue(QVariant::fromValue<qlonglong>(key));
    if (!holder.exec() || !holder.next()) return {};
    const QString name = holder.value(0).toString();
    return name.startsWith(QStringLiteral("kestu@")) ? S(name.mid(6)) : std::string();
}

std::string InUseMessage(const std::string& userId, const std::string& host)
{
    if (host.empty()) return "User ID " + userId + " is in use by another Kestu window.";
    if (host == ThisComputer() || host == S(QSysInfo::machineHostName()))
        return "User ID " + userId + " is in use by another Kestu window on this computer.";
    return "User ID " + userId + " is in use by another Kestu window on the computer " + host + ".";
}

}  // namespace

Result<std::unique_ptr<ParticipantLock>> ParticipantLock::TakeOnServer(const std::string& url, const std::string& userId)
{
    using Outcome = Result<std::unique_ptr<ParticipantLock>>;
    auto where = ParseDatabaseLocation(url);
    if (!where) return where.fault();
    const QString name = NewConnectionName();
    std::string error = Connect(name, where.value(), OpenMode::ReadWrite, /*bare=*/true);
    const long long key = ServerKey(userId);
    if (error.empty()) {
        QSqlQuery take(QSqlDatabase::database(name, false));
        take.prepare(QStringLiteral("SELECT pg_try_advisory_lock(?)"));
        take.addBindValue(QVariant::fromValue<qlonglong>(key));
        if (!take.exec() || !take.next())
            error = "User ID " + userId + " cannot be held for this window: " +
                    Message(url, "the lock cannot be taken (" + DriverText(take.lastError()) + ")");
        else if (take.value(0).toBool())
            return Outcome::Ok(std::unique_ptr<ParticipantLock>(new ParticipantLock(S(name), key)));
        else
            error = InUseMessage(userId, HolderHost(name, key));
    }
    Drop(name);
    return Outcome::Fail(error);
}

Result<std::unique_ptr<ParticipantLock>> ParticipantLock::Take(const std::string& dbPath, const std::string& userId)
{
    using Outcome = Result<std::unique_ptr<ParticipantLock>>;
    if (LooksLikeServerUrl(dbPath)) return TakeOnServer(dbPath, userId);
    auto file = std::make_unique<QLockFile>(QString::fromStdString(LockPath(dbPath, userId)));
    // A trial may run for an hour: the lock never goes stale by age, only
    // when the copy that holds it is gone (Qt checks its process id).
    file->setStaleLockTime(0);
    if (file->tryLock(0)) return Outcome::Ok(std::unique_ptr<ParticipantLock>(new ParticipantLock(std::move(file))));

    if (file->error() != QLockFile::LockFailedError)
        return Outcome::Fail("User ID " + userId + " cannot be held for this window: the lock file " +
                             LockPath(dbPath, userId) + " cannot be written.");
    qint64 pid = 0;
    QString host, app;
    file->getLockInfo(&pid, &host, &app);
    return Outcome::Fail(InUseMessage(userId, host.isEmpty() ? ThisComputer() : host.toStdString()));
}

}  // namespace kestu
