#include "kestuctl/sql_connection.h"

#include <QFileInfo>
#include <QMetaType>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <atomic>

#include "kestuctl/plain_number.h"

namespace kestu::ctl {

namespace {

std::atomic<unsigned> connectionCounter{0};

QString DriverText(const QSqlError& error)
{
    return (error.databaseText().isEmpty() ? error.text() : error.databaseText()).trimmed();
}

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
        return value.toString().toStdString();
    }
}

}  // namespace

std::string CellText(const Cell& cell)
{
    if (const auto* whole = std::get_if<long long>(&cell)) return std::to_string(*whole);
    if (const auto* number = std::get_if<double>(&cell)) return PlainNumber(*number);
    if (const auto* text = std::get_if<std::string>(&cell)) return *text;
    return {};
}

std::string DbMessage(const std::string& path, const std::string& what, const QString& driverText)
{
    std::string message = path + ": " + what;
    if (!driverText.isEmpty()) message += " (" + driverText.toStdString() + ")";
    return message;
}

QString QuotedName(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return "\"" + quoted + "\"";
}

ScopedConnection::ScopedConnection(const std::string& path, Mode mode)
    : path_(path), name_(QStringLiteral("kestuctl-%1").arg(++connectionCounter))
{
    // SQLite would create a missing file; a mistyped name must not become an empty database.
    const QFileInfo file(QString::fromStdString(path));
    if (!file.exists()) {
        error_ = DbMessage(path, "the database file does not exist");
        return;
    }
    if (!file.isFile()) {
        error_ = DbMessage(path, "is not a file");
        return;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    if (!db.isValid()) {
        error_ = DbMessage(path, "cannot open the database: Qt's SQLite driver is not installed");
        return;
    }
    db.setDatabaseName(QString::fromStdString(path));
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000");
    if (mode == Mode::ReadOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open()) {
        error_ = DbMessage(path, "cannot open the database", DriverText(db.lastError()));
        return;
    }
    QSqlQuery probe(db);  // a file that is not a database fails here, not at the first real query
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
        error_ = DbMessage(path, "cannot read the file as a database", DriverText(probe.lastError()));
    }
}

ScopedConnection::~ScopedConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase ScopedConnection::db() const { return QSqlDatabase::database(name_, false); }

DbResult<CellTable> ReadCells(const ScopedConnection& connection, const QString& table,
                              const std::vector<QString>& columns)
{
    using Result = DbResult<CellTable>;
    const std::string where = "table \"" + table.toStdString() + "\"";
    QStringList names;
    for (const QString& column : columns) names << QuotedName(column);
    const QString selection = columns.empty() ? QStringLiteral("*") : names.join(QStringLiteral(", "));

    QSqlQuery query(connection.db());
    query.setForwardOnly(true);
    // Stored order is insertion order, so rows are read by rowid.
    if (!query.exec("SELECT " + selection + " FROM " + QuotedName(table) + " ORDER BY rowid")) {
        return Result::Fail(DbMessage(connection.path(), "cannot read " + where, DriverText(query.lastError())));
    }
    CellTable cells;
    const QSqlRecord record = query.record();
    for (int c = 0; c < record.count(); ++c) cells.columns.push_back(record.fieldName(c).toStdString());
    while (query.next()) {
        std::vector<Cell> row;
        row.reserve(cells.columns.size());
        for (int c = 0; c < record.count(); ++c) row.push_back(ToCell(query.value(c)));
        cells.rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        return Result::Fail(DbMessage(connection.path(), "cannot read " + where, DriverText(query.lastError())));
    }
    return Result::Ok(std::move(cells));
}

}  // namespace kestu::ctl
