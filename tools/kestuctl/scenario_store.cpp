#include "kestuctl/scenario_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "data/experiment_db.h"
#include "engine/constants.h"

namespace kestu::ctl {

namespace {

QString DriverText(const QSqlError& error)
{
    return (error.databaseText().isEmpty() ? error.text() : error.databaseText()).trimmed();
}

// "INSERT INTO "table" ("a", "b") VALUES (?, ?)".
QString InsertStatement(ScenarioTable table)
{
    QStringList names, marks;
    for (const QString& column : ScenarioColumns(table)) {
        names << QuotedName(column);
        marks << QStringLiteral("?");
    }
    return "INSERT INTO " + QuotedName(TableName(table)) + " (" + names.join(QStringLiteral(", ")) + ") VALUES (" +
           marks.join(QStringLiteral(", ")) + ")";
}

// Each row's values in the order of ScenarioColumns.
std::vector<std::vector<QVariant>> RowValues(ScenarioTable table, const ScenarioTables& tables)
{
    std::vector<std::vector<QVariant>> rows;
    switch (table) {
    case ScenarioTable::Exogenous:
        for (const ArrivalRow& r : tables.exogenous) {
            std::vector<QVariant> values{r.Hr, r.Min};
            for (double water : r.Water) values.emplace_back(water);
            rows.push_back(std::move(values));
        }
        break;
    case ScenarioTable::Deadline:
        for (const DeadlineRow& r : tables.deadline) rows.push_back({r.TankNum, r.Hr, r.Min, r.ExpectAmt});
        break;
    case ScenarioTable::Sorttable:
        for (const OutletRow& r : tables.sorttable) rows.push_back({r.head, r.tail, r.sorta});
        break;
    }
    return rows;
}

// Runs the deletes and inserts; the caller commits or rolls back.
std::string WriteTables(QSqlDatabase& db, const std::string& path, const ScenarioTables& tables)
{
    for (ScenarioTable table : AllScenarioTables) {
        const std::string where = "table \"" + TableName(table).toStdString() + "\"";
        QSqlQuery clear(db);
        if (!clear.exec("DELETE FROM " + QuotedName(TableName(table)))) {
            return DbMessage(path, "cannot empty " + where, DriverText(clear.lastError()));
        }
        QSqlQuery insert(db);
        if (!insert.prepare(InsertStatement(table))) {
            return DbMessage(path, "cannot write " + where, DriverText(insert.lastError()));
        }
        int rowNumber = 0;
        for (const auto& values : RowValues(table, tables)) {
            ++rowNumber;
            for (int i = 0; i < static_cast<int>(values.size()); ++i) insert.bindValue(i, values[i]);
            if (!insert.exec()) {
                return DbMessage(path, "cannot write row " + std::to_string(rowNumber) + " of " + where,
                                 DriverText(insert.lastError()));
            }
        }
    }
    return {};
}

}  // namespace

QString TableName(ScenarioTable table)
{
    switch (table) {
    case ScenarioTable::Exogenous:
        return QStringLiteral("exogenous");
    case ScenarioTable::Deadline:
        return QStringLiteral("deadline");
    case ScenarioTable::Sorttable:
        return QStringLiteral("sorttable");
    }
    return {};
}

std::vector<QString> ScenarioColumns(ScenarioTable table)
{
    switch (table) {
    case ScenarioTable::Exogenous: {
        std::vector<QString> columns{QStringLiteral("Hr"), QStringLiteral("Min")};
        for (int tank = 0; tank < TankCount; ++tank) columns.push_back(QString::number(tank));
        return columns;
    }
    case ScenarioTable::Deadline:
        return {QStringLiteral("TankNum"), QStringLiteral("Hr"), QStringLiteral("Min"), QStringLiteral("ExpectAmt")};
    case ScenarioTable::Sorttable:
        return {QStringLiteral("head"), QStringLiteral("tail"), QStringLiteral("sorta")};
    }
    return {};
}

DbResult<ScenarioTables> LoadScenario(const std::string& dbPath)
{
    auto db = ExperimentDb::Open(dbPath, OpenMode::ReadOnly);
    if (!db) return DbResult<ScenarioTables>::Fail(db.error());
    return db.value()->ReadScenario();
}

DbResult<CellTable> ReadScenarioCells(const std::string& dbPath, ScenarioTable table)
{
    const ScopedConnection connection(dbPath, ScopedConnection::Mode::ReadOnly);
    if (!connection.ok()) return DbResult<CellTable>::Fail(connection.error());
    return ReadCells(connection, TableName(table), ScenarioColumns(table));
}

DbStatus ReplaceScenario(const std::string& dbPath, const ScenarioTables& tables)
{
    const ScopedConnection connection(dbPath, ScopedConnection::Mode::ReadWrite);
    if (!connection.ok()) return DbStatus::Fail(connection.error());
    QSqlDatabase db = connection.db();
    if (!db.transaction()) {
        return DbStatus::Fail(DbMessage(dbPath, "cannot start writing the scenario", DriverText(db.lastError())));
    }
    const std::string error = WriteTables(db, dbPath, tables);
    if (!error.empty()) {
        db.rollback();
        return DbStatus::Fail(error);
    }
    if (!db.commit()) {
        const std::string message = DbMessage(dbPath, "cannot save the scenario", DriverText(db.lastError()));
        db.rollback();
        return DbStatus::Fail(message);
    }
    return DbOk();
}

}  // namespace kestu::ctl
