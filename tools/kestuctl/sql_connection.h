#pragma once

// The database operations of kestuctl that the experiment database's own
// interface does not offer yet, and the helpers they share. Like src/data,
// every statement binds its values; table and column names come from this
// code only, never from the command line.

#include <QSqlDatabase>
#include <QString>

#include <string>
#include <variant>
#include <vector>

#include "data/db_result.h"

namespace kestu::ctl {

// A cell as SQLite holds it.
using Cell = std::variant<std::monostate, long long, double, std::string>;

// Rows of a table in stored order, with the names of their columns.
struct CellTable {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;
};

// A cell as CSV text: "" for NULL, whole numbers in decimal, other numbers
// as plain decimals that read back exactly, text as stored.
std::string CellText(const Cell& cell);

// A connection of its own to an existing database file, closed and removed
// when this goes out of scope (after every query on it has).
class ScopedConnection {
public:
    enum class Mode { ReadOnly, ReadWrite };
    ScopedConnection(const std::string& path, Mode mode);
    ~ScopedConnection();
    ScopedConnection(const ScopedConnection&) = delete;
    ScopedConnection& operator=(const ScopedConnection&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }  // "<file>: what"
    QSqlDatabase db() const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    QString name_;
    std::string error_;
};

// Reads `columns` of `table` (every column when empty) in stored order.
DbResult<CellTable> ReadCells(const ScopedConnection& connection, const QString& table,
                              const std::vector<QString>& columns = {});

// "<file>: what (driver's words)".
std::string DbMessage(const std::string& path, const std::string& what, const QString& driverText = {});

// A table or column name as an SQL identifier: in double quotes, inner ones doubled.
QString QuotedName(const QString& name);

}  // namespace kestu::ctl
