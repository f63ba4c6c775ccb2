// Reading tables cell by cell as stored, unchecked, for export: a table the
// program would refuse still comes out whole.

#include <QMetaType>
#include <QSet>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include "data/db_internal.h"
#include "data/server_call_bound.h"
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
    if (const Status ran = Run(query, path, "cannot read table \"" + table + "\""); !ran) return ran.fault();
    std::vector<QString> columns;
    while (query.next()) columns.push_back(query.value(0).toString());
    if (columns.empty()) return Outcome::Fail(Message(path, "table \"" + table + "\" is missing"));
    return Outcome::Ok(std::move(columns));
}

}  // namespace

namespace dbdetail {
Status HasColumns(const QString& connection, const std::string& path, const Dialect& dialect, const QString& table,
                  const std::vector<QString>& columns)
{
    QSet<QString> present;  // SQLite matches column names without regard to case
    QSqlQuery info(QSqlDatabase::database(connection, false));
    if (!info.prepare(dialect.columnsOfTable)) return Ok();
    info.addBindValue(table);
    if (!info.exec()) return Ok();
    while (info.next()) present.insert(info.value(0).toString().toLower());
    if (present.isEmpty()) return Status::Fail(Message(path, "table \"" + table + "\" is missing"));
    for (const QString& column : columns) {
        if (!present.contains(column.toLower()))
            return Status::Fail(Message(path, "table \"" + table + "\", column \"" + column + "\" is missing"));
    }
    return Ok();
}
}  // namespace dbdetail

Result<CellTable> ExperimentDb::ReadScenarioCells(ScenarioTable table)
{
    return ReadCells(Q(connection_), path_, TableName(table), ScenarioColumns(table));
}

Result<CellTable> ExperimentDb::ReadResultCells(ResultTable table)
{
    return ReadWholeTable(table == ResultTable::Participants ? "UserData" : "Experiments");
}

Result<CellTable> ExperimentDb::ReadWholeTable(const std::string& table)
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    auto columns = ColumnsOf(Q(connection_), path_, dialect(), Q(table));
    if (!columns) return columns.fault();
    return ReadCells(Q(connection_), path_, Q(table), columns.value());
}

namespace {

QVariant ToValue(const Cell& cell)
{
    if (const auto* whole = std::get_if<long long>(&cell)) return QVariant::fromValue<qlonglong>(*whole);
    if (const auto* number = std::get_if<double>(&cell)) return *number;
    if (const auto* text = std::get_if<std::string>(&cell)) {
        const QString value = Q(*text);
        return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
    }
    return QVariant();
}

Status InsertRows(QSqlDatabase& db, const std::string& path, const std::string& table, const CellTable& cells)
{
    const QString doing = "cannot copy into table \"" + Q(table) + "\"";
    QSqlQuery clear(db);
    if (!clear.exec("DELETE FROM " + QuotedName(Q(table))))
        return Status::Fail(Message(path, doing + " (" + DriverText(clear.lastError()) + ")"));
    QStringList names, marks;
    for (const std::string& column : cells.columns) {
        names << QuotedName(Q(column));
        marks << QStringLiteral("?");
    }
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO " + QuotedName(Q(table)) + " (" + names.join(", ") + ") VALUES (" + marks.join(", ") +
                   ")");
    for (const std::vector<Cell>& row : cells.rows) {
        for (std::size_t c = 0; c < row.size(); ++c) insert.bindValue(static_cast<int>(c), ToValue(row[c]));
        if (const Status ran = Run(insert, path, doing); !ran) return ran;
    }
    return Ok();
}

}  // namespace

Status ExperimentDb::ReplaceTables(const std::vector<std::pair<std::string, CellTable>>& tables)
{
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    return InTransaction(db, path_, QStringLiteral("the copy"), [&] {
        for (const auto& [table, cells] : tables) {
            if (const Status inserted = InsertRows(db, path_, table, cells); !inserted) return inserted;
        }
        return Ok();
    });
}

}  // namespace kestu
