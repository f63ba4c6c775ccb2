// Reading the three scenario tables. Experimenters fill them with any SQLite
// tool, so every cell is checked before a number reaches the plant, against
// the same rules (scenario/scenario_rules.h) and in the same words as the CSV
// import: a fault is reported by table, column and row (1-based, in stored
// order) and no table is returned at all.

#include <QSet>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

#include "data/db_internal.h"
#include "data/server_call_bound.h"
#include "data/dialect.h"
#include "data/experiment_db.h"
#include "scenario/scenario_rules.h"
#include "trials/message_text.h"

namespace kestu {

using namespace dbdetail;

namespace {

QString Where(const TableRule& table) { return "table \"" + Q(table.name) + "\""; }
QString Where(const TableRule& table, const ColumnRule& column)
{
    return Where(table) + ", column \"" + Q(column.name) + "\"";
}

std::string ShowCell(std::string_view text) { return ForMessage(text, ShownCellBytes); }

// Reads one cell as a number, or fails saying what is wrong with it.
// Tables imported from text files hold their numbers as text; such text is
// read as the CSV import reads it.
Result<double> ReadCell(const QVariant& cell, const ColumnRule& column)
{
    double number = 0;
    std::optional<std::string> wrong;
    if (cell.isNull()) {
        wrong = std::string(EmptyCellFault);
    } else if (cell.metaType().id() == QMetaType::QString) {
        wrong = TextCellFault(column, S(cell.toString()), ShowCell, number);
    } else if (cell.metaType().id() == QMetaType::QByteArray) {
        wrong = std::string("binary data is not a number");
    } else {
        bool ok = false;
        number = cell.toDouble(&ok);
        wrong = ok ? NumberFault(column, number) : NotANumberFault(ShowCell(S(cell.toString())));
    }
    if (wrong) return Result<double>::Fail(*wrong);
    return number;
}

using NumberRows = std::vector<std::vector<double>>;

// The database a scenario is read from, as the messages name it.
struct Source {
    QString connection;
    const std::string& path;
    const Dialect& dialect;
};

// Fails naming the table, or a column of it, that is missing; succeeds when
// all are there (or the database cannot say).
Status HasTable(const Source& source, const TableRule& table)
{
    QSet<QString> present;  // SQLite matches column names without regard to case
    QSqlQuery info(QSqlDatabase::database(source.connection, false));
    info.prepare(source.dialect.columnsOfTable);
    info.addBindValue(Q(table.name));
    if (!info.exec()) return Ok();
    while (info.next()) present.insert(info.value(0).toString().toLower());
    if (present.isEmpty()) return Status::Fail(Message(source.path, Where(table) + " is missing"));
    for (const ColumnRule& column : table.columns) {
        if (!present.contains(Q(column.name).toLower()))
            return Status::Fail(Message(source.path, Where(table, column) + " is missing"));
    }
    return Ok();
}

// Every row of the table in stored order, its columns as numbers that obey
// their rules; a table without rows is refused too.
Result<NumberRows> ReadTable(const Source& source, const TableRule& table)
{
    using Outcome = Result<NumberRows>;
    const std::string& path = source.path;
    if (source.dialect.checkColumnsFirst) {
        if (const Status present = HasTable(source, table); !present) return present.fault();
    }
    QStringList names;
    for (const ColumnRule& column : table.columns) names << QuotedName(Q(column.name));

    // Stored order is insertion order, so rows are read by rowid.
    QSqlQuery query(QSqlDatabase::database(source.connection, false));
    query.setForwardOnly(true);
    // A server refuses a missing column itself; only then is its catalog asked which.
    if (!query.exec("SELECT " + names.join(", ") + " FROM " + QuotedName(Q(table.name)) + " ORDER BY rowid")) {
        if (const Status present = HasTable(source, table); !present) return present.fault();
        return Outcome::Fail(Message(path, "cannot read " + Where(table) + " (" + DriverText(query.lastError()) + ")"));
    }

    NumberRows rows;
    while (query.next()) {
        std::vector<double> numbers(table.columns.size());
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const auto number = ReadCell(query.value(static_cast<int>(c)), table.columns[c]);
            if (!number)
                return Outcome::Fail(
                    Message(path, Q(InTable({table.name, rows.size(), table.columns[c].name, number.error()}))));
            numbers[c] = number.value();
        }
        rows.push_back(std::move(numbers));
    }
    if (query.lastError().isValid()) {
        return Outcome::Fail(Message(path, "cannot read " + Where(table) + " (" + DriverText(query.lastError()) + ")"));
    }
    if (auto empty = EmptyTableFault(table, rows.size())) return Outcome::Fail(Message(path, Q(InTable(*empty))));
    return Outcome::Ok(std::move(rows));
}

// Reads a table into typed rows and holds them to the rules over rows;
// fails with the first fault.
template <typename Row, typename FromNumbers, typename CheckRows>
Result<std::vector<Row>> ReadRows(const Source& source, const TableRule& table, FromNumbers fromNumbers,
                                  CheckRows checkRows)
{
    auto numbers = ReadTable(source, table);
    if (!numbers) return numbers.fault();
    std::vector<Row> rows;
    for (const std::vector<double>& row : numbers.value()) rows.push_back(fromNumbers(row));
    std::vector<ScenarioFault> faults;
    checkRows(rows, faults);
    if (!faults.empty()) return Result<std::vector<Row>>::Fail(Message(source.path, Q(InTable(faults.front()))));
    return rows;
}

}  // namespace

Result<ScenarioTables> ExperimentDb::ReadScenario()
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    using Outcome = Result<ScenarioTables>;
    const Source source{Q(connection_), path_, dialect()};
    auto exogenous = ReadRows<ArrivalRow>(source, ArrivalTableRule(), ArrivalFromNumbers, CheckArrivalRows);
    if (!exogenous) return exogenous.fault();
    auto deadline = ReadRows<DeadlineRow>(source, DeadlineTableRule(), DeadlineFromNumbers, CheckDeadlineRows);
    if (!deadline) return deadline.fault();
    auto sorttable = ReadRows<OutletRow>(source, OutletTableRule(), OutletFromNumbers, CheckOutletRows);
    if (!sorttable) return sorttable.fault();
    ScenarioTables tables;
    tables.exogenous = std::move(exogenous).value();
    tables.deadline = std::move(deadline).value();
    tables.sorttable = std::move(sorttable).value();
    return Outcome::Ok(std::move(tables));
}

}  // namespace kestu
