#pragma once

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <string>
#include <vector>

namespace kestu::testsupport {

// Runs one statement on a database file directly, past the program's own
// data layer, so tests can inspect and prepare files as any SQLite tool
// would. Returns every row of the result, each cell as a QVariant.
inline std::vector<std::vector<QVariant>> RawSql(const std::string& path, const std::string& statement)
{
    static int counter = 0;
    const QString name = QStringLiteral("raw-sql-%1").arg(++counter);
    std::vector<std::vector<QVariant>> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QString::fromStdString(path));
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QString::fromStdString(statement)))
            << statement << ": " << query.lastError().text().toStdString();
        while (query.next()) {
            std::vector<QVariant> row;
            for (int c = 0; c < query.record().count(); ++c) row.push_back(query.value(c));
            rows.push_back(std::move(row));
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// The first cell of the result, or an empty QVariant.
inline QVariant RawSqlValue(const std::string& path, const std::string& statement)
{
    const auto rows = RawSql(path, statement);
    return rows.empty() || rows[0].empty() ? QVariant() : rows[0][0];
}

// Every row of `table` in stored order, each cell with its storage type:
// equal dumps mean the table did not change.
inline std::string RawDump(const std::string& path, const std::string& table)
{
    std::string text;
    for (const auto& row : RawSql(path, "SELECT * FROM \"" + table + "\" ORDER BY rowid")) {
        for (const QVariant& v : row) text += std::string(v.isNull() ? "null" : v.typeName()) + ":" + v.toString().toStdString() + ",";
        text += "\n";
    }
    return text;
}

}  // namespace kestu::testsupport
