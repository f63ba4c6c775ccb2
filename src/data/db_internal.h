#pragma once

// Helpers shared by the files of the database layer; not part of its interface.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/db_values.h"
#include "data/dialect.h"
#include "engine/result.h"
#include "data/server_call_bound.h"
#include "data/server_fault_report.h"

namespace kestu::dbdetail {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }

// The driver's own words for the last failure of a query, without the
// "Unable to fetch row" style prefixes Qt adds. A lost server connection is
// one plain sentence instead; libpq's words for it go to standard error.
inline QString DriverText(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (IsConnectionLost(error)) {
        ReportServerFault(text.toStdString());
        return QString::fromLatin1(ServerUnreachable);
    }
    return text.trimmed();
}

// "<file>: <what>".
inline std::string Message(const std::string& path, const QString& what)
{
    return path + ": " + S(what);
}

// The sentence a study function on the server refused with, when the failure
// is such a refusal: the first line of the driver's text, without "ERROR:".
inline std::optional<QString> FunctionRefusal(const QSqlError& error)
{
    if (error.nativeErrorCode() != QLatin1String(FunctionRefusalCode)) return std::nullopt;
    QString text = DriverText(error).section(u'\n', 0, 0).trimmed();
    if (text.startsWith(QStringLiteral("ERROR:"))) text = text.mid(6).trimmed();
    return text;
}

// "<file>: <doing> (<driver text>)", or "<file>: <doing>: <refusal>" for a
// study function's own refusal.
inline std::string Failed(const std::string& path, const QString& doing, const QSqlError& error)
{
    if (const auto refusal = FunctionRefusal(error)) return Message(path, doing + ": " + *refusal);
    return Message(path, doing + " (" + DriverText(error) + ")");
}

// Prepares a query. A statement naming a table or column that is missing
// fails here, and this failure is the one reported: executed anyway, the
// query would only say that its parameters do not match.
inline Status Prepare(QSqlQuery& query, const QString& sql, const std::string& path, const QString& doing)
{
    if (query.prepare(sql)) return Ok();
    return Status::Fail(Failed(path, doing, query.lastError()));
}

// Runs a prepared query; fails with "<file>: <doing> (<driver text>)".
inline Status Run(QSqlQuery& query, const std::string& path, const QString& doing)
{
    const ServerCallBound bound;  // a server that stops answering fails the statement
    if (query.exec()) return Ok();
    return Status::Fail(Failed(path, doing, query.lastError()));
}

// Runs a statement as it is, unprepared (transaction control: the server
// cannot prepare it); fails as Run does.
inline Status ExecPlain(QSqlDatabase& db, const QString& statement, const std::string& path, const QString& doing)
{
    const ServerCallBound bound;
    QSqlQuery query(db);
    if (query.exec(statement)) return Ok();
    return Status::Fail(Failed(path, doing, query.lastError()));
}

// A trial count as stored: empty is 0, a whole number (of at most 18 digits)
// is itself, anything else is no count. The server's kestu_trial_count reads
// it the same way.
inline std::optional<long long> ParseTrialCount(const QString& stored)
{
    const QString text = stored.trimmed();
    if (text.isEmpty()) return 0;
    qsizetype digits = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == 0 && (text[i] == u'+' || text[i] == u'-')) continue;
        if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
        ++digits;
    }
    if (digits < 1 || digits > 18) return std::nullopt;
    return text.toLongLong();
}

// Whether `table` has every one of `columns` (SQLite matches names without
// regard to case): fails naming the first missing part; succeeds when all
// are there or the database cannot say.
Status HasColumns(const QString& connection, const std::string& path, const Dialect& dialect, const QString& table,
                  const std::vector<QString>& columns);

// Runs `write` (which returns a Status) in one transaction: committed whole,
// or rolled back on any failure. `what` names what is written in messages:
// "cannot start writing <what>", "cannot save <what>".
template <typename Write>
Status InTransaction(QSqlDatabase& db, const std::string& path, const QString& what, Write&& write)
{
    if (!db.transaction())
        return Status::Fail(Message(path, "cannot start writing " + what + " (" + DriverText(db.lastError()) + ")"));
    Status written = write();
    if (written && !db.commit())
        written = Status::Fail(Message(path, "cannot save " + what + " (" + DriverText(db.lastError()) + ")"));
    if (!written) db.rollback();
    return written;
}

// A table or column name as an SQL identifier: in double quotes, inner ones doubled.
inline QString QuotedName(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return "\"" + quoted + "\"";
}

inline QString TableName(ScenarioTable table) { return QString::fromLatin1(ScenarioTableName(table)); }

// The columns of a scenario table that the program uses, in the order it
// writes them: "Hr", "Min", "0".."22" for exogenous.
std::vector<QString> ScenarioColumns(ScenarioTable table);

// The statements of an SQL script, in order: split at semicolons outside
// quotes and comments, comments dropped, blank statements skipped.
std::vector<QString> SplitSqlScript(const QString& script);

// The statements a connection runs on every trial, prepared once for its
// life on a server, where each preparing costs a round trip; on a file they
// are prepared afresh each time, so none stays open between calls. Values
// are bound by position.
struct StatementCache {
    std::map<QString, std::unique_ptr<QSqlQuery>> prepared;
    std::optional<bool> studyFunctions;  // whether the server study has the seats' functions
    bool seatTableMade = false;          // an SQLite study has its "SeatStatus" table
};

// The schema's statements that make `table` and its unique keys, each made
// only where it is missing: the table first. An SQLite study made before the
// table existed gets it this way.
std::vector<QString> CreateIfMissing(const QString& table);

// Scripts compiled into the program.
const char* SchemaSql();
const char* StandardScenarioSql();

}  // namespace kestu::dbdetail
