// Reading the three scenario tables. Experimenters fill them with any SQLite
// tool, so every cell is checked before a number reaches the plant: a bad cell
// is reported by table, column and row (1-based, in stored order) and no table
// is returned at all.

#include <QSet>
#include <QStringList>
#include <QVariant>

#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "data/db_internal.h"
#include "engine/plant_state.h"
#include "trials/message_text.h"
#include "data/experiment_db.h"
#include "engine/constants.h"

namespace kestu {

using namespace dbdetail;

namespace {

constexpr int Int16Min = -32768;
constexpr int Int16Max = 32767;
constexpr int LastTankRecord = TankRecords - 1;  // 23, the spare record

struct Column {
    QString name;
    bool whole = false;  // must hold a whole number within lo..hi
    int lo = Int16Min;
    int hi = Int16Max;
};

Column Real(const QString& name) { return {name, false, 0, 0}; }
Column Whole(const QString& name, int lo, int hi) { return {name, true, lo, hi}; }

QString Where(const QString& table) { return "table \"" + table + "\""; }
QString Where(const QString& table, const QString& column) { return Where(table) + ", column \"" + column + "\""; }
QString Where(const QString& table, const QString& column, int row)
{
    return Where(table, column) + ", row " + QString::number(row);
}

QString Number(double value) { return QString::number(value, 'g', 15); }

// Reads one cell as a number. Returns what is wrong with it, if anything.
// Tables imported from text files hold their numbers as text; such text is
// read as a number too.
std::optional<QString> ReadCell(const QVariant& cell, const Column& column, double& number)
{
    if (cell.isNull()) return QStringLiteral("empty cell");
    const int type = cell.metaType().id();
    bool ok = false;
    if (type == QMetaType::QString) {
        const QString text = cell.toString().trimmed();
        if (text.isEmpty()) return QStringLiteral("empty cell");
        number = text.toDouble(&ok);
        if (!ok || !std::isfinite(number)) return "\"" + QString::fromStdString(ForMessage(cell.toString().toStdString(), 40)) + "\" is not a number";
    } else if (type == QMetaType::QByteArray) {
        return QStringLiteral("binary data is not a number");
    } else {
        number = cell.toDouble(&ok);
        if (!ok || !std::isfinite(number)) return "\"" + QString::fromStdString(ForMessage(cell.toString().toStdString(), 40)) + "\" is not a number";
    }
    if (!column.whole && !WaterFits(number)) return Number(number) + " is outside -1E+12..1E+12";
    if (column.whole) {
        if (std::floor(number) != number) return Number(number) + " is not a whole number";
        if (number < column.lo || number > column.hi) {
            return Number(number) + " is outside " + QString::number(column.lo) + ".." + QString::number(column.hi);
        }
    }
    return std::nullopt;
}

using NumberRows = std::vector<std::vector<double>>;

// Every row of `table` in stored order, the given columns as numbers.
DbResult<NumberRows> ReadTable(const QString& connection, const std::string& path, const QString& table,
                               const std::vector<Column>& columns)
{
    using Result = DbResult<NumberRows>;
    const QSqlDatabase db = QSqlDatabase::database(connection, false);

    QSet<QString> present;  // SQLite matches column names without regard to case
    {
        QSqlQuery info(db);
        if (!info.exec("PRAGMA table_info(\"" + table + "\")")) {
            return Result::Fail(Message(path, "cannot read " + Where(table) + " (" + DriverText(info.lastError()) + ")"));
        }
        while (info.next()) present.insert(info.value(1).toString().toLower());
    }
    if (present.isEmpty()) return Result::Fail(Message(path, Where(table) + " is missing"));

    QStringList names;
    for (const Column& column : columns) {
        if (!present.contains(column.name.toLower())) {
            return Result::Fail(Message(path, Where(table, column.name) + " is missing"));
        }
        names << "\"" + column.name + "\"";
    }

    // Stored order is insertion order, so rows are read by rowid.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec("SELECT " + names.join(", ") + " FROM \"" + table + "\" ORDER BY rowid")) {
        return Result::Fail(Message(path, "cannot read " + Where(table) + " (" + DriverText(query.lastError()) + ")"));
    }

    NumberRows rows;
    while (query.next()) {
        const int row = static_cast<int>(rows.size()) + 1;
        std::vector<double> numbers(columns.size());
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (auto problem = ReadCell(query.value(static_cast<int>(c)), columns[c], numbers[c])) {
                return Result::Fail(Message(path, Where(table, columns[c].name, row) + ": " + *problem));
            }
        }
        rows.push_back(std::move(numbers));
    }
    if (query.lastError().isValid()) {
        return Result::Fail(Message(path, "cannot read " + Where(table) + " (" + DriverText(query.lastError()) + ")"));
    }
    if (rows.empty()) return Result::Fail(Message(path, Where(table) + " has no rows"));
    return Result::Ok(std::move(rows));
}

// A tank holds at most MaxOutlets outlet entries, and one whose listed shares do
// not add up to exactly 1 (summed in row order) gets one more entry for the rest,
// which leaves the plant. Record 23 gets no such entry.
std::optional<std::string> CheckOutletCounts(const std::string& path, const std::vector<OutletRow>& rows)
{
    const QString table = QStringLiteral("sorttable");
    std::array<int, TankRecords> count{};
    std::array<double, TankRecords> sum{};
    std::array<int, TankRecords> lastRow{};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int head = rows[r].head;
        const int row = static_cast<int>(r) + 1;
        if (++count[head] > MaxOutlets) {
            return Message(path, Where(table, QStringLiteral("head"), row) + ": tank " + QString::number(head) +
                                     " has more than " + QString::number(MaxOutlets) + " outlet rows");
        }
        sum[head] += rows[r].sorta;
        lastRow[head] = row;
    }
    for (int tank = 0; tank < TankCount; ++tank) {
        if (count[tank] == MaxOutlets && sum[tank] != 1.0) {
            return Message(path, Where(table, QStringLiteral("sorta"), lastRow[tank]) + ": the " +
                                     QString::number(MaxOutlets) + " shares of tank " + QString::number(tank) +
                                     " add up to " + Number(sum[tank]) +
                                     ", not 1, and a tank has no room for an 11th outlet to carry the rest");
        }
    }
    return std::nullopt;
}

}  // namespace

DbResult<ScenarioTables> ExperimentDb::ReadScenario()
{
    using Result = DbResult<ScenarioTables>;
    const QString connection = Q(connection_);
    ScenarioTables tables;

    std::vector<Column> arrivalColumns = {Whole(QStringLiteral("Hr"), 0, Int16Max),
                                          Whole(QStringLiteral("Min"), 0, 59)};
    for (int tank = 0; tank < TankCount; ++tank) arrivalColumns.push_back(Real(QString::number(tank)));
    auto arrivals = ReadTable(connection, path_, QStringLiteral("exogenous"), arrivalColumns);
    if (!arrivals) return Result::Fail(arrivals.error());
    for (const auto& r : arrivals.value()) {
        ArrivalRow row;
        row.Hr = static_cast<int>(r[0]);
        row.Min = static_cast<int>(r[1]);
        for (int tank = 0; tank < TankCount; ++tank) row.Water[tank] = r[2 + tank];
        tables.exogenous.push_back(row);
    }

    auto deadlines = ReadTable(connection, path_, QStringLiteral("deadline"),
                               {Whole(QStringLiteral("TankNum"), 0, LastTankRecord),
                                Whole(QStringLiteral("Hr"), 0, Int16Max), Whole(QStringLiteral("Min"), 0, 59),
                                Whole(QStringLiteral("ExpectAmt"), Int16Min, Int16Max)});
    if (!deadlines) return Result::Fail(deadlines.error());
    for (const auto& r : deadlines.value()) {
        tables.deadline.push_back({static_cast<int>(r[0]), static_cast<int>(r[1]), static_cast<int>(r[2]),
                                   static_cast<int>(r[3])});
    }

    // A tail of -1 sends the share out of the plant.
    auto outlets = ReadTable(connection, path_, QStringLiteral("sorttable"),
                             {Whole(QStringLiteral("head"), 0, LastTankRecord),
                              Whole(QStringLiteral("tail"), -1, LastTankRecord), Real(QStringLiteral("sorta"))});
    if (!outlets) return Result::Fail(outlets.error());
    for (const auto& r : outlets.value()) {
        tables.sorttable.push_back({static_cast<int>(r[0]), static_cast<int>(r[1]), r[2]});
    }
    if (auto problem = CheckOutletCounts(path_, tables.sorttable)) return Result::Fail(*problem);

    return Result::Ok(std::move(tables));
}

}  // namespace kestu
