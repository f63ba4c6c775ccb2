#pragma once

// The throw-away PostgreSQL cluster the test run starts (tests/support/
// pg_cluster.sh, registered as the ctest fixture "pg"): its URL, and
// databases of its own for each test. A test that needs the server fails,
// rather than skips, when there is none.

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "data/database_location.h"

namespace kestu::testsupport {

// The cluster's URL (its database "postgres", as the superuser).
inline std::string TestServerUrl()
{
    const char* file = std::getenv("KESTU_TEST_PG");
    std::string url;
    if (file) std::getline(std::ifstream(file), url);
    if (url.empty()) ADD_FAILURE() << "no test server: run the tests through ctest, which starts one";
    return url;
}

// Runs statements on the server as its superuser, outside any study.
inline bool ServerSql(const std::string& url, const std::string& statement)
{
    static int counter = 0;
    const QString name = QStringLiteral("test-server-%1").arg(++counter);
    bool ok = false;
    {
        const auto where = ParseDatabaseLocation(url);
        if (!where.ok() || !where.value().server) return false;
        const ServerAddress& s = *where.value().server;
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QString::fromStdString(s.host));
        db.setPort(s.port);
        db.setUserName(QString::fromStdString(s.user));
        db.setDatabaseName(QString::fromStdString(s.database));
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery query(db);
        ok = query.exec(QString::fromStdString(statement));
        EXPECT_TRUE(ok) << statement << ": " << query.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// A new, empty database on the test server; its URL (as `user`, the superuser by default).
inline std::string NewServerDatabase(const std::string& user = "postgres")
{
    static int counter = 0;
    const std::string admin = TestServerUrl();
    const std::string name = "kestu_t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    ServerSql(admin, "CREATE DATABASE " + name);
    const std::string base = admin.substr(0, admin.rfind('/') + 1);
    const std::string withUser = "postgresql://" + user + base.substr(base.find('@'));
    return withUser + name;
}

inline void DropServerDatabase(const std::string& url)
{
    ServerSql(TestServerUrl(), "DROP DATABASE IF EXISTS " + url.substr(url.rfind('/') + 1) + " WITH (FORCE)");
}

}  // namespace kestu::testsupport
