#include "data/db_connect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <unistd.h>

#include "data/db_internal.h"
#include "trials/session_state.h"

namespace kestu::dbdetail {

namespace {

std::string ConnectFile(QSqlDatabase& db, const std::string& path, OpenMode mode)
{
    db.setDatabaseName(Q(path));
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000");
    if (mode == OpenMode::ReadOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open()) return Message(path, "cannot open the database (" + DriverText(db.lastError()) + ")");
    // SQLite reads the file only when asked; this makes a file that is not a
    // database fail now rather than at the first real query.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return Message(path, "cannot read the file as a database (" + DriverText(probe.lastError()) + ")");
    return {};
}

std::string ConnectServer(QSqlDatabase& db, const DatabaseLocation& where, OpenMode mode, bool bare)
{
    const ServerAddress& server = *where.server;
    db.setHostName(Q(server.host));
    db.setPort(server.port);
    db.setUserName(Q(server.user));
    db.setDatabaseName(Q(server.database));
    std::string options = ConnectOptionsText(server);
    // The seat's computer, which a second seat's refusal names.
    if (options.find("application_name=") == std::string::npos)
        options += std::string(options.empty() ? "" : ";") + "application_name=kestu@" + ThisComputer();
    if (options.find("connect_timeout=") == std::string::npos) options += ";connect_timeout=10";
    db.setConnectOptions(Q(options));
    if (!db.open()) return Message(where.text, "cannot reach the database server (" + DriverText(db.lastError()) + ")");
    QSqlQuery setup(db);
    if (mode == OpenMode::ReadOnly &&
        !setup.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")))
        return Message(where.text, "cannot open the database (" + DriverText(setup.lastError()) + ")");
    if (bare) return {};
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT to_regclass('\"UserData\"') IS NOT NULL")) || !probe.next())
        return Message(where.text, "cannot read the database (" + DriverText(probe.lastError()) + ")");
    if (!probe.value(0).toBool())
        return Message(where.text, QStringLiteral("holds no Kestu study; create one with kestuctl init"));
    return {};
}

}  // namespace

QString NewConnectionName()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("kestu-experiment-db-%1").arg(++counter);
}

void Drop(const QString& name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

std::string Connect(const QString& name, const DatabaseLocation& where, OpenMode mode, bool bare)
{
    const Dialect& dialect = DialectOf(where.IsServer() ? Backend::Postgres : Backend::Sqlite);
    QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driver, name);
    if (!db.isValid()) {
        const QString which = where.IsServer() ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite");
        return Message(where.text, "cannot open the database: Qt's " + which + " driver is not installed");
    }
    return where.IsServer() ? ConnectServer(db, where, mode, bare) : ConnectFile(db, where.text, mode);
}

}  // namespace kestu::dbdetail
