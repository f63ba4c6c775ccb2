// The trial logs kept in the database, so that one database holds a whole
// study and a lab's logs can be re-scored from its server alone.

#include <QByteArray>
#include <QVariant>

#include "data/db_internal.h"
#include "data/dialect.h"
#include "data/experiment_db.h"

namespace kestu {

using namespace dbdetail;

namespace {
// The table as the schema declares it, made only where it is missing.
QString CreateTrialLogsIfMissing()
{
    for (QString statement : SplitSqlScript(QString::fromUtf8(SchemaSql()))) {
        if (statement.contains(QStringLiteral("CREATE TABLE \"TrialLogs\"")))
            return statement.replace(QStringLiteral("CREATE TABLE"), QStringLiteral("CREATE TABLE IF NOT EXISTS"));
    }
    return {};
}
}  // namespace

Status ExperimentDb::StoreTrialLog(const TrialLogCopy& log)
{
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    const QString doing = "cannot store the log of trial " + QString::number(log.Experiment) + " of User ID \"" +
                          Q(log.UserID) + "\" in table \"TrialLogs\"";
    std::string error;
    if (!onServer_) {
        QSqlQuery create(db);
        if (!create.exec(CreateTrialLogsIfMissing()))
            return Status::Fail(Message(path_, doing + " (" + DriverText(create.lastError()) + ")"));
    }
    QSqlQuery& insert = Statement(QStringLiteral(
        "INSERT INTO \"TrialLogs\" (\"UserID\", \"Experiment\", \"Host\", \"Bytes\", \"WrittenAt\") "
        "SELECT ?, ?, ?, ?, ? WHERE NOT EXISTS "
        "(SELECT 1 FROM \"TrialLogs\" WHERE \"UserID\" = ? AND \"Experiment\" = ?)"));
    insert.bindValue(0, Q(log.UserID));
    insert.bindValue(1, QVariant::fromValue<qlonglong>(log.Experiment));
    insert.bindValue(2, Q(log.Host));
    insert.bindValue(3, QByteArray::fromStdString(log.Bytes));
    insert.bindValue(4, Q(log.WrittenAt));
    insert.bindValue(5, Q(log.UserID));
    insert.bindValue(6, QVariant::fromValue<qlonglong>(log.Experiment));
    if (!Run(insert, path_, doing, error)) return Status::Fail(error);
    return Ok();
}

Result<std::vector<TrialLogCopy>> ExperimentDb::ReadTrialLogs(const std::string& userId)
{
    using Outcome = Result<std::vector<TrialLogCopy>>;
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT \"UserID\", \"Experiment\", \"Host\", \"Bytes\", \"WrittenAt\" FROM \"TrialLogs\" "
        "WHERE ? = '' OR \"UserID\" = ? ORDER BY rowid"));
    // An empty ID (every participant) is bound as '' rather than NULL, which would match nothing.
    const QString user = userId.empty() ? QStringLiteral("") : Q(userId);
    query.addBindValue(user);
    query.addBindValue(user);
    std::string error;
    if (!Run(query, path_, QStringLiteral("cannot read table \"TrialLogs\""), error)) return Outcome::Fail(error);
    std::vector<TrialLogCopy> logs;
    while (query.next()) {
        logs.push_back({S(query.value(0).toString()), query.value(1).toLongLong(), S(query.value(2).toString()),
                        query.value(3).toByteArray().toStdString(), S(query.value(4).toString())});
    }
    return Outcome::Ok(std::move(logs));
}

}  // namespace kestu
