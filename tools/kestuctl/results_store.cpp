#include "kestuctl/results_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kestu::ctl {

namespace {

std::optional<double> OptionalNumber(const QVariant& value)
{
    if (value.isNull()) return std::nullopt;
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? std::optional<double>(number) : std::nullopt;
}

std::optional<long long> OptionalWhole(const QVariant& value)
{
    if (value.isNull()) return std::nullopt;
    bool ok = false;
    const long long number = value.toLongLong(&ok);
    return ok ? std::optional<long long>(number) : std::nullopt;
}

}  // namespace

DbResult<CellTable> ReadResultTable(const std::string& dbPath, ResultTable table)
{
    const ScopedConnection connection(dbPath, ScopedConnection::Mode::ReadOnly);
    if (!connection.ok()) return DbResult<CellTable>::Fail(connection.error());
    const QString name = table == ResultTable::Participants ? QStringLiteral("UserData") : QStringLiteral("Experiments");
    return ReadCells(connection, name);
}

DbResult<std::vector<ExperimentRow>> ReadExperimentRows(const std::string& dbPath, const std::string& userId)
{
    using Result = DbResult<std::vector<ExperimentRow>>;
    const ScopedConnection connection(dbPath, ScopedConnection::Mode::ReadOnly);
    if (!connection.ok()) return Result::Fail(connection.error());

    QSqlQuery query(connection.db());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT rowid, \"Experiment\", \"EndTime\", \"MissedBuckets\", \"BusyTime\", \"SweepTime\", \"IdleTime\" "
        "FROM \"Experiments\" WHERE \"UserID\" = ? ORDER BY rowid"));
    query.addBindValue(QString::fromStdString(userId));
    const std::string doing = "cannot read the rows of User ID \"" + userId + "\" in table \"Experiments\"";
    if (!query.exec()) return Result::Fail(DbMessage(dbPath, doing, query.lastError().text()));

    std::vector<ExperimentRow> rows;
    while (query.next()) {
        ExperimentRow row;
        row.rowid = query.value(0).toLongLong();
        row.Experiment = OptionalWhole(query.value(1));
        row.EndTime = query.value(2).toString().toStdString();
        row.MissedBuckets = OptionalNumber(query.value(3));
        row.BusyTime = OptionalNumber(query.value(4));
        row.SweepTime = OptionalNumber(query.value(5));
        row.IdleTime = OptionalNumber(query.value(6));
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) return Result::Fail(DbMessage(dbPath, doing, query.lastError().text()));
    return Result::Ok(std::move(rows));
}

}  // namespace kestu::ctl
