// The trial logs kept in the database, so that one database holds a whole
// study and a lab's logs can be re-scored from its server alone.

#include <QByteArray>
#include <QVariant>

#include "data/db_internal.h"
#include "data/server_call_bound.h"
#include "data/dialect.h"
#include "data/experiment_db.h"

namespace kestu {

using namespace dbdetail;

Status ExperimentDb::StoreTrialLog(const TrialLogCopy& log)
{
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    const QString doing = "cannot store the log of trial " + QString::number(log.Experiment) + " of User ID \"" +
                          Q(log.UserID) + "\" in table \"TrialLogs\"";
    auto functions = ThroughFunctions();
    if (!functions) return functions.fault();
    if (functions.value()) {
        auto call = Statement(QStringLiteral("SELECT kestu_store_trial_log(?, ?, ?, ?, ?)"), doing);
        if (!call) return call.fault();
        call.value()->bindValue(0, Q(log.UserID).isNull() ? QStringLiteral("") : Q(log.UserID));
        call.value()->bindValue(1, QVariant::fromValue<qlonglong>(log.Experiment));
        call.value()->bindValue(2, Q(log.Host).isNull() ? QStringLiteral("") : Q(log.Host));
        call.value()->bindValue(3, QByteArray::fromStdString(log.Bytes));
        call.value()->bindValue(4, Q(log.WrittenAt).isNull() ? QStringLiteral("") : Q(log.WrittenAt));
        if (const Status ran = Run(*call.value(), path_, doing); !ran) return ran.fault();
        call.value()->finish();
        return Ok();
    }
    if (!onServer_) {
        const std::vector<QString> create = CreateIfMissing(QStringLiteral("TrialLogs"));
        QSqlQuery table(db);
        if (create.empty() || !table.exec(create.front()))
            return Status::Fail(Failed(path_, doing, table.lastError()));
        // A file whose table already holds a log twice cannot get the key;
        // the insert below still adds no second copy.
        for (std::size_t i = 1; i < create.size(); ++i) QSqlQuery(db).exec(create[i]);
    }
    // The key makes two deliveries at once store one row; where there is no
    // key (a file that already holds a log twice), the check does.
    auto insert = Statement(QStringLiteral(
        "INSERT INTO \"TrialLogs\" (\"UserID\", \"Experiment\", \"Host\", \"Bytes\", \"WrittenAt\") "
        "SELECT ?, ?, ?, ?, ? WHERE NOT EXISTS "
        "(SELECT 1 FROM \"TrialLogs\" WHERE \"UserID\" = ? AND \"Experiment\" = ?)") +
        (onServer_ ? QString() : QStringLiteral(" ON CONFLICT DO NOTHING")), doing);
    if (!insert) return insert.fault();
    insert.value()->bindValue(0, Q(log.UserID));
    insert.value()->bindValue(1, QVariant::fromValue<qlonglong>(log.Experiment));
    insert.value()->bindValue(2, Q(log.Host));
    insert.value()->bindValue(3, QByteArray::fromStdString(log.Bytes));
    insert.value()->bindValue(4, Q(log.WrittenAt));
    insert.value()->bindValue(5, Q(log.UserID));
    insert.value()->bindValue(6, QVariant::fromValue<qlonglong>(log.Experiment));
    if (const Status ran = Run(*insert.value(), path_, doing); !ran) return ran.fault();
    return Ok();
}

Result<std::vector<TrialLogCopy>> ExperimentDb::ReadTrialLogs(const std::string& userId)
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    using Outcome = Result<std::vector<TrialLogCopy>>;
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    query.setForwardOnly(true);
    const QString doing = QStringLiteral("cannot read table \"TrialLogs\"");
    const QString sql = QStringLiteral("SELECT \"UserID\", \"Experiment\", \"Host\", \"Bytes\", \"WrittenAt\" "
                                       "FROM \"TrialLogs\" WHERE ? = '' OR \"UserID\" = ? ORDER BY rowid");
    if (const Status prepared = Prepare(query, sql, path_, doing); !prepared) return prepared.fault();
    // An empty ID (every participant) is bound as '' rather than NULL, which would match nothing.
    const QString user = userId.empty() ? QStringLiteral("") : Q(userId);
    query.addBindValue(user);
    query.addBindValue(user);
    if (const Status ran = Run(query, path_, doing); !ran) return ran.fault();
    std::vector<TrialLogCopy> logs;
    while (query.next()) {
        logs.push_back({S(query.value(0).toString()), query.value(1).toLongLong(), S(query.value(2).toString()),
                        query.value(3).toByteArray().toStdString(), S(query.value(4).toString())});
    }
    return Outcome::Ok(std::move(logs));
}

}  // namespace kestu
