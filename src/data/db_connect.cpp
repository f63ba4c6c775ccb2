#include "data/db_connect.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <unistd.h>

#include "data/db_internal.h"
#include "data/server_call_bound.h"
#include "data/server_fault_report.h"
#include "trials/session_state.h"

namespace kestu::dbdetail {

namespace {

// A seat's session gives up on a statement, or on a lock another session
// holds, well inside the bound of a whole call (ServerCallLimit).
constexpr const char* StatementTimeout = "10s";
constexpr const char* LockTimeout = "5s";
// A transaction left open by a seat that froze keeps its row locks no longer than this.
constexpr const char* IdleInTransactionTimeout = "30s";

// The client side of the connection notices a dead path: keepalive probes
// after 5 s of silence, every 2 s, 3 unanswered ones end it; data sent and
// not acknowledged for 10 s ends it.
constexpr std::array<std::pair<const char*, const char*>, 5> ClientKeepalives = {{
    {"keepalives", "1"},
    {"keepalives_idle", "5"},
    {"keepalives_interval", "2"},
    {"keepalives_count", "3"},
    {"tcp_user_timeout", "10000"},
}};

// libpq's own connection attempt, seconds; less when a call's bound has less left.
constexpr int ConnectTimeoutSeconds = 5;

Status ConnectFile(QSqlDatabase& db, const std::string& path, OpenMode mode)
{
    db.setDatabaseName(Q(path));
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000");
    if (mode == OpenMode::ReadOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open()) return Status::Fail(Message(path, "cannot open the database (" + DriverText(db.lastError()) + ")"));
    // SQLite reads the file only when asked; this makes a file that is not a
    // database fail now rather than at the first real query.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return Status::Fail(Message(path, "cannot read the file as a database (" + DriverText(probe.lastError()) + ")"));
    return Ok();
}

bool HasOption(const ServerAddress& server, const std::string& key)
{
    return std::any_of(server.options.begin(), server.options.end(), [&](const auto& kv) { return kv.first == key; });
}

int ConnectTimeout()
{
    int seconds = ConnectTimeoutSeconds;
    if (const auto left = ServerCallBound::Remaining())
        seconds = std::clamp(static_cast<int>(left->count() / 1000), 2, ConnectTimeoutSeconds);
    return seconds;
}

// Everything Qt's driver passes to libpq besides host, port, user and
// database: the URL's options, the seat's name, the timeouts.
std::vector<std::pair<std::string, std::string>> SeatOptions(const ServerAddress& server)
{
    std::vector<std::pair<std::string, std::string>> options = server.options;
    // The seat's computer, which a second seat's refusal names.
    if (!HasOption(server, "application_name")) options.emplace_back("application_name", "kestu@" + ThisComputer());
    if (!HasOption(server, "connect_timeout")) options.emplace_back("connect_timeout", std::to_string(ConnectTimeout()));
    for (const auto& [key, value] : ClientKeepalives) options.emplace_back(key, value);
    return options;
}

// The PGconn under an open Qt connection; null for another driver.
PGconn* LibpqHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type by libpq's struct: "pg_conn*" (older versions "PGconn*").
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}

// Whether the server was reached and refused the login for its password (a
// wrong one, or none in ~/.pgpass). Qt keeps nothing of a failed connection,
// so libpq is asked again, briefly; only a quick failure is looked at, as a
// server that cannot be reached would only make the caller wait twice.
bool PasswordRefused(const ServerAddress& server)
{
    std::vector<std::pair<std::string, std::string>> params = {
        {"host", server.host}, {"port", std::to_string(server.port)}, {"user", server.user},
        {"dbname", server.database}, {"connect_timeout", "2"}};
    for (const auto& option : server.options)
        if (option.first != "connect_timeout") params.push_back(option);
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : params) {
        keys.push_back(key.c_str());
        values.push_back(value.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 0);
    const bool refused = PQstatus(conn) == CONNECTION_BAD &&
                         (PQconnectionNeedsPassword(conn) || PQconnectionUsedPassword(conn));
    PQfinish(conn);
    return refused;
}

// Whether libpq's words for a failed connection say the server was never
// reached (nothing listening, no route, no answer in time, no such host), as
// opposed to a server that answered and refused. Words it does not know
// count as an answer, so their detail is shown rather than hidden.
bool NeverReached(const QString& detail)
{
    static const char* const words[] = {"Connection refused", "timeout expired", "could not translate host name",
                                        "No route to host", "Network is unreachable", "Connection timed out",
                                        "server closed the connection unexpectedly", "Connection reset by peer",
                                        "could not receive data from server", "could not send data to server"};
    for (const char* word : words)
        if (detail.contains(QLatin1String(word))) return true;
    return false;
}

// libpq's text on one line: its hints come on tab-indented lines of their own.
QString OneLine(const QString& text)
{
    return text.simplified();
}

Status ConnectServer(const QString& name, QSqlDatabase& db, const DatabaseLocation& where, OpenMode mode, bool bare)
{
    QuietLostStatements();
    const ServerAddress& server = *where.server;
    db.setHostName(Q(server.host));
    db.setPort(server.port);
    db.setUserName(Q(server.user));
    db.setDatabaseName(Q(server.database));
    db.setConnectOptions(Q(LibpqOptionsText(SeatOptions(server))));
    const auto started = std::chrono::steady_clock::now();
    if (!db.open()) {
        const QString detail = db.lastError().databaseText().isEmpty() ? db.lastError().text()
                                                                       : db.lastError().databaseText();
        const bool quick = std::chrono::steady_clock::now() - started < std::chrono::seconds(2);
        if (quick && PasswordRefused(server))
            return Status::Fail(Message(where.text, QString::fromStdString("the server refused the login of " + server.user +
                                                              ": its password is wrong or missing (a seat's "
                                                              "password goes in ~/.pgpass)")));
        ReportServerFault(where.text + ": " + S(detail));
        if (NeverReached(detail)) return Status::Fail(Message(where.text, QString::fromLatin1(ServerUnreachable)));
        // The server answered and said no (a database or role that does not
        // exist, a pg_hba.conf without a line for this seat): its words, on one line.
        return Status::Fail(Message(where.text, "the server refused the connection (" + OneLine(detail) + ")"));
    }
    if (PGconn* conn = LibpqHandle(db)) WatchServerSocket(S(name), PQsocket(conn));

    // The first statements are bounded like any call, whoever asked.
    const ServerCallBound bound;
    QSqlQuery setup(db);
    const QString timeouts = QStringLiteral("SET statement_timeout = '%1'; SET lock_timeout = '%2'; "
                                            "SET idle_in_transaction_session_timeout = '%3'")
                                 .arg(QLatin1String(StatementTimeout), QLatin1String(LockTimeout),
                                      QLatin1String(IdleInTransactionTimeout));
    if (!setup.exec(timeouts))
        return Status::Fail(Message(where.text, "cannot open the database (" + DriverText(setup.lastError()) + ")"));
    if (mode == OpenMode::ReadOnly &&
        !setup.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")))
        return Status::Fail(Message(where.text, "cannot open the database (" + DriverText(setup.lastError()) + ")"));
    if (bare) return Ok();
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT to_regclass('\"UserData\"') IS NOT NULL")) || !probe.next())
        return Status::Fail(Message(where.text, "cannot read the database (" + DriverText(probe.lastError()) + ")"));
    if (!probe.value(0).toBool())
        return Status::Fail(Message(where.text, QStringLiteral("holds no Kestu study; create one with kestuctl init")));
    return Ok();
}

}  // namespace

QString NewConnectionName()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("kestu-experiment-db-%1").arg(++counter);
}

void Drop(const QString& name)
{
    ForgetServerSocket(S(name));
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

Status Connect(const QString& name, const DatabaseLocation& where, OpenMode mode, bool bare)
{
    const Dialect& dialect = DialectOf(where.IsServer() ? Backend::Postgres : Backend::Sqlite);
    QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driver, name);
    if (!db.isValid()) {
        const QString which = where.IsServer() ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite");
        return Status::Fail(Message(where.text, "cannot open the database: Qt's " + which + " driver is not installed"));
    }
    return where.IsServer() ? ConnectServer(name, db, where, mode, bare) : ConnectFile(db, where.text, mode);
}

}  // namespace kestu::dbdetail
