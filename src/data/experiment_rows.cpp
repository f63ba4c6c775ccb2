// Reading a participant's trial results back for rescoring. Rows may have
// been edited by hand, so a cell without a number reads as nothing.

#include <QVariant>

#include <cmath>

#include "data/db_internal.h"
#include "data/server_call_bound.h"
#include "data/dialect.h"
#include "data/experiment_db.h"

namespace kestu {

using namespace dbdetail;

namespace {

// A figure: a number stored as one, or text that is wholly a finite number
// ("2.5", as an SQL tool may store it). Anything else ('n/a', '', 'nan',
// binary data) is no figure, never 0.
std::optional<double> OptionalNumber(const QVariant& value)
{
    if (value.isNull()) return std::nullopt;
    bool ok = false;
    double number = 0;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        number = value.toDouble(&ok);
        break;
    case QMetaType::QString:
        number = value.toString().trimmed().toDouble(&ok);
        break;
    default:
        return std::nullopt;
    }
    if (!ok || !std::isfinite(number)) return std::nullopt;
    return number;
}

// A trial number: a whole number that fits 64 bits, never rounded or narrowed
// (1.5 is no trial, nor is 1e19).
std::optional<long long> OptionalWhole(const QVariant& value)
{
    if (value.isNull()) return std::nullopt;
    bool ok = false;
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
        const long long number = value.toLongLong(&ok);
        return ok ? std::optional<long long>(number) : std::nullopt;
    }
    const long long whole = value.toString().trimmed().toLongLong(&ok);
    if (ok) return whole;
    const double number = value.toDouble(&ok);
    // Whole doubles below 2^63 convert exactly.
    if (!ok || std::floor(number) != number || !(std::fabs(number) < 9.2233720368547758e18)) return std::nullopt;
    return static_cast<long long>(number);
}

}  // namespace

Result<std::vector<ExperimentRow>> ExperimentDb::ReadExperimentRows(const std::string& userId)
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    using Outcome = Result<std::vector<ExperimentRow>>;
    const QString doing = "cannot read the rows of User ID \"" + Q(userId) + "\" in table \"Experiments\"";
    const std::vector<QString> columns = {QStringLiteral("UserID"),        QStringLiteral("Experiment"),
                                          QStringLiteral("EndTime"),       QStringLiteral("MissedBuckets"),
                                          QStringLiteral("BusyTime"),      QStringLiteral("SweepTime"),
                                          QStringLiteral("IdleTime")};
    // SQLite would read a missing column's quoted name as text, and every
    // figure as missing; the missing column is named instead.
    if (dialect().checkColumnsFirst) {
        const Status present = HasColumns(Q(connection_), path_, dialect(), QStringLiteral("Experiments"), columns);
        if (!present) return present.fault();
    }
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    query.setForwardOnly(true);
    const QString sql = QStringLiteral(
        "SELECT rowid, \"Experiment\", \"EndTime\", \"MissedBuckets\", \"BusyTime\", \"SweepTime\", \"IdleTime\" "
        "FROM \"Experiments\" WHERE \"UserID\" = ? ORDER BY rowid");
    // A failure names the missing column when one is missing.
    Status ran = Prepare(query, sql, path_, doing);
    if (ran) {
        query.addBindValue(Q(userId));
        ran = Run(query, path_, doing);
    }
    if (!ran) {
        const Status present = HasColumns(Q(connection_), path_, dialect(), QStringLiteral("Experiments"), columns);
        return present ? ran.fault() : present.fault();
    }

    std::vector<ExperimentRow> rows;
    while (query.next()) {
        ExperimentRow row;
        row.rowid = query.value(0).toLongLong();
        row.Experiment = OptionalWhole(query.value(1));
        row.EndTime = S(query.value(2).toString());
        row.MissedBuckets = OptionalNumber(query.value(3));
        row.BusyTime = OptionalNumber(query.value(4));
        row.SweepTime = OptionalNumber(query.value(5));
        row.IdleTime = OptionalNumber(query.value(6));
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        return Outcome::Fail(Message(path_, doing + " (" + DriverText(query.lastError()) + ")"));
    }
    return Outcome::Ok(std::move(rows));
}

}  // namespace kestu
