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

// Reads one cell as a number. Returns what is wrong with it, if anything.
// Tables imported from text files hold their numbers as text; such text is
// read as the CSV import reads it.
std::optional<std::string> ReadCell(const QVariant& cell, const ColumnRule& column, double& number)
{
    if (cell.isNull()) return std::string(EmptyCellFault);
    switch (cell.metaType().id()) {
    case QMetaType::QString:
        return TextCellFault(column, S(cell.toString()), ShowCell, number);
    case QMetaType::QByteArray:
        return std::string("binary data is not a number");
    default: {
        bool ok = false;
        number = cell.toDouble(&ok);
        if (!ok) return NotANumberFault(ShowCell(S(cell.toString())));
        return NumberFault(column, number);
    }
    }
}

using NumberRows = std::vector<std::vector<double>>;

// The database a scenario is read from, as the messages name it.
struct Source {
    QString connection;
    const std::string& path;
    const Dialect& dialect;
};

// The table or a column of it missing, by name; nothing when all are there
// (or the database cannot say).
std::optional<std::string> MissingPart(const Source& source, const TableRule& table)
{
    QSet<QString> present;  // SQLite matches column names without regard to case
    QSqlQuery info(QSqlDatabase::database(source.connection, false));
    info.prepare(source.dialect.columnsOfTable);
    info.addBindValue(Q(table.name));
    if (!info.exec()) return std::nullopt;
    while (info.next()) present.insert(info.value(0).toString().toLower());
    if (present.isEmpty()) return Message(source.path, Where(table) + " is missing");
    for (const ColumnRule& column : table.columns) {
        if (!present.contains(Q(column.name).toLower())) return Message(source.path, Where(table, column) + " is missing");
    }
    return std::nullopt;
}

// Every row of the table in stored order, its columns as numbers that obey
// their rules; a table without rows is refused too.
Result<NumberRows> ReadTable(const Source& source, const TableRule& table)
{
    using Outcome = Result<NumberRows>;
    const std::string& path = source.path;
    if (source.dialect.checkColumnsFirst) {
        if (auto missing = MissingPart(source, table)) return Outcome::Fail(*missing);
    }
    QStringList names;
    for (const ColumnRule& column : table.columns) names << QuotedName(Q(column.name));

    // Stored order is insertion order, so rows are read by rowid.
    QSqlQuery query(QSqlDatabase::database(source.connection, false));
    query.setForwardOnly(true);
    // A server refuses a missing column itself; only then is its catalog asked which.
    if (!query.exec("SELECT " + names.join(", ") + " FROM " + QuotedName(Q(table.name)) + " ORDER BY rowid"))
        return Outcome::Fail(MissingPart(source, table).value_or(
            Message(path, "cannot read " + Where(table) + " (" + DriverText(query.lastError()) + ")")));

    NumberRows rows;
    while (query.next()) {
        std::vector<double> numbers(table.columns.size());
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            if (auto what = ReadCell(query.value(static_cast<int>(c)), table.columns[c], numbers[c])) {
                return Outcome::Fail(Message(path, Q(InTable({table.name, rows.size(), table.columns[c].name, *what}))));
            }
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
// returns the first fault's message, or nothing.
template <typename Row, typename FromNumbers, typename CheckRows>
std::optional<std::string> ReadRows(const Source& source, const TableRule& table, FromNumbers fromNumbers,
                                    CheckRows checkRows, std::vector<Row>& out)
{
    auto numbers = ReadTable(source, table);
    if (!numbers) return numbers.error();
    for (const std::vector<double>& row : numbers.value()) out.push_back(fromNumbers(row));
    std::vector<ScenarioFault> faults;
    checkRows(out, faults);
    if (!faults.empty()) return Message(source.path, Q(InTable(faults.front())));
    return std::nullopt;
}

}  // namespace

Result<ScenarioTables> ExperimentDb::ReadScenario()
{
    const ServerCallBound bound;  // a server that stops answering fails the read
    using Outcome = Result<ScenarioTables>;
    const Source source{Q(connection_), path_, dialect()};
    ScenarioTables tables;
    if (auto problem = ReadRows(source, ArrivalTableRule(), ArrivalFromNumbers, CheckArrivalRows, tables.exogenous))
        return Outcome::Fail(*problem);
    if (auto problem = ReadRows(source, DeadlineTableRule(), DeadlineFromNumbers, CheckDeadlineRows, tables.deadline))
        return Outcome::Fail(*problem);
    if (auto problem = ReadRows(source, OutletTableRule(), OutletFromNumbers, CheckOutletRows, tables.sorttable))
        return Outcome::Fail(*problem);
    return Outcome::Ok(std::move(tables));
}

}  // namespace kestu
