// Reading tables cell by cell as stored, unchecked, for export: a table the
// program would refuse still comes out whole.

#include <QMetaType>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include "data/db_internal.h"
#include "data/dialect.h"
#include "data/experiment_db.h"

namespace kestu {

using namespace dbdetail;

namespace {

Cell ToCell(const QVariant& value)
{
    if (value.isNull()) return std::monostate{};
    switch (value.metaType().id()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        return value.toLongLong();
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QByteArray:
        return value.toByteArray().toStdString();
    default:
        return S(value.toString());
    }
}

// Reads `columns` of `table` (every column when empty) in stored order.
Result<CellTable> ReadCells(const QString& connection, const std::string& path, const QString& table,
                              const std::vector<QString>& columns)
{
    using Outcome = Result<CellTable>;
    const QString doing = "cannot read table \"" + table + "\"";
    QStringList names;
    for (const QString& column : columns) names << QuotedName(column);
    const QString selection = columns.empty() ? QStringLiteral("*") : names.join(QStringLiteral(", "));

    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    // Stored order is insertion order, so rows are read by rowid.
    if (!query.exec("SELECT " + selection + " FROM " + QuotedName(table) + " ORDER BY rowid")) {
        return Outcome::Fail(Message(path, doing + " (" + DriverText(query.lastError()) + ")"));
    }
    CellTable cells;
    const QSqlRecord record = query.record();
    for (int c = 0; c < record.count(); ++c) cells.columns.push_back(S(record.fieldName(c)));
    while (query.next()) {
        std::vector<Cell> row;
        row.reserve(cells.columns.size());
        for (int c = 0; c < record.count(); ++c) row.push_back(ToCell(query.value(c)));
        cells.rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        return Outcome::Fail(Message(path, doing + " (" + DriverText(query.lastError()) + ")"));
    }
    return Outcome::Ok(std::move(cells));
}

// A table's columns in their order, "rowid" of a server table left out.
Result<std::vector<QString>> ColumnsOf(const QString& connection, const std::string& path, const Dialect& dialect,
                                       const QString& table)
{
    using Outcome = Result<std::vector<QString>>;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.prepare(dialect.columnsOfTable);
    query.addBindValue(table);
    std::string error;
    if (!Run(query, path, "cannot read table \"" + table + "\"", error)) return Outcome::Fail(error);
    std::vector<QString> columns;
    while (query.next()) columns.push_back(query.value(0).toString());
    if (columns.empty()) return Outcome::Fail(Message(path, "table \"" + table + "\" is missing"));
    return Outcome::Ok(std::move(columns));
}

}  // namespace

Result<CellTable> ExperimentDb::ReadScenarioCells(ScenarioTable table)
{
    return ReadCells(Q(connection_), path_, TableName(table), ScenarioColumns(table));
}

Result<CellTable> ExperimentDb::ReadResultCells(ResultTable table)
{
    const QString name = table == ResultTable::Participants ? QStringLiteral("UserData") : QStringLiteral("Experiments");
    auto columns = ColumnsOf(Q(connection_), path_, dialect(), name);
    if (!columns) return columns.fault();
    return ReadCells(Q(connection_), path_, name, columns.value());
}

}  // namespace kestu
