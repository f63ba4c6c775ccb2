#pragma once

// Helpers shared by the files of the database layer; not part of its interface.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/db_values.h"
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

// Runs a prepared query; on failure returns the message "<file>: <doing> (<driver text>)".
inline bool Run(QSqlQuery& query, const std::string& path, const QString& doing, std::string& error)
{
    if (query.exec()) return true;
    error = Message(path, doing + " (" + DriverText(query.lastError()) + ")");
    return false;
}

// Runs `write` (which returns a message, empty on success) in one
// transaction: committed whole, or rolled back on any failure. `what` names
// what is written in messages: "cannot start writing <what>", "cannot save <what>".
template <typename Write>
std::string InTransaction(QSqlDatabase& db, const std::string& path, const QString& what, Write&& write)
{
    if (!db.transaction()) return Message(path, "cannot start writing " + what + " (" + DriverText(db.lastError()) + ")");
    std::string error = write();
    if (error.empty() && !db.commit()) error = Message(path, "cannot save " + what + " (" + DriverText(db.lastError()) + ")");
    if (!error.empty()) db.rollback();
    return error;
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
};

// Scripts compiled into the program.
const char* SchemaSql();
const char* StandardScenarioSql();

}  // namespace kestu::dbdetail
