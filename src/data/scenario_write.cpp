// Replacing the scenario tables. The three are written in one transaction so
// that a failure part-way never leaves a mixed or half-emptied scenario.

#include <QStringList>
#include <QVariant>

#include "data/db_internal.h"
#include "data/experiment_db.h"

namespace kestu {

using namespace dbdetail;

namespace {

QString Where(ScenarioTable table) { return "table \"" + TableName(table) + "\""; }

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
            std::vector<QVariant> values{r.At.Minutes, r.At.Seconds};
            for (double water : r.Water) values.emplace_back(water);
            rows.push_back(std::move(values));
        }
        break;
    case ScenarioTable::Deadline:
        for (const DeadlineRow& r : tables.deadline) rows.push_back({r.TankNum, r.At.Minutes, r.At.Seconds, r.ExpectAmt});
        break;
    case ScenarioTable::Sorttable:
        for (const OutletRow& r : tables.sorttable) rows.push_back({r.head, r.tail, r.sorta});
        break;
    }
    return rows;
}

// Runs the deletes and inserts; the caller commits or rolls back.
Status WriteTables(const QSqlDatabase& db, const std::string& path, const ScenarioTables& tables)
{
    for (ScenarioTable table : AllScenarioTables) {
        QSqlQuery clear(db);
        if (!clear.exec("DELETE FROM " + QuotedName(TableName(table)))) {
            return Status::Fail(
                Message(path, "cannot empty " + Where(table) + " (" + DriverText(clear.lastError()) + ")"));
        }
        QSqlQuery insert(db);
        if (!insert.prepare(InsertStatement(table))) {
            return Status::Fail(
                Message(path, "cannot write " + Where(table) + " (" + DriverText(insert.lastError()) + ")"));
        }
        int rowNumber = 0;
        for (const auto& values : RowValues(table, tables)) {
            ++rowNumber;
            for (int i = 0; i < static_cast<int>(values.size()); ++i) insert.bindValue(i, values[i]);
            const Status ran = Run(insert, path, "cannot write row " + QString::number(rowNumber) + " of " + Where(table));
            if (!ran) return ran;
        }
    }
    return Ok();
}

}  // namespace

Status ExperimentDb::ReplaceScenario(const ScenarioTables& tables)
{
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    return InTransaction(db, path_, QStringLiteral("the scenario"), [&] { return WriteTables(db, path_, tables); });
}

}  // namespace kestu
