#include "data/participant_lock.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QLockFile>

namespace kestu {

ParticipantLock::ParticipantLock(std::unique_ptr<QLockFile> file) : file_(std::move(file)) {}

ParticipantLock::~ParticipantLock()
{
    if (file_) file_->unlock();
}

std::string ParticipantLock::LockPath(const std::string& dbPath, const std::string& userId)
{
    const QString folder = QFileInfo(QString::fromStdString(dbPath)).absolutePath();
    return (folder + "/" + QString::fromStdString(userId) + ".lock").toStdString();
}

std::unique_ptr<ParticipantLock> ParticipantLock::Take(const std::string& dbPath, const std::string& userId,
                                                        std::string& error)
{
    auto file = std::make_unique<QLockFile>(QString::fromStdString(LockPath(dbPath, userId)));
    // A trial may run for an hour: the lock never goes stale by age, only
    // when the copy that holds it is gone (Qt checks its process id).
    file->setStaleLockTime(0);
    if (file->tryLock(0)) return std::unique_ptr<ParticipantLock>(new ParticipantLock(std::move(file)));

    if (file->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host, app;
        file->getLockInfo(&pid, &host, &app);
        if (host.isEmpty() || host == QSysInfo::machineHostName()) {
            error = "User ID " + userId + " is in use by another Kestu window on this computer.";
        } else {
            error = "User ID " + userId + " is in use by another Kestu window on the computer " + host.toStdString() +
                    ".";
        }
    } else {
        error = "User ID " + userId + " cannot be held for this window: the lock file " + LockPath(dbPath, userId) +
                " cannot be written.";
    }
    return nullptr;
}

}  // namespace kestu
