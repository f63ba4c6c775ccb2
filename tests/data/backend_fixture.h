#pragma once

// Tests run once on an SQLite file and once on a database of the test
// server, each with a location of its own.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>

#include "db_fixture.h"
#include "support/test_server.h"

namespace kestu::testing {

enum class Where { File, Server };

class BackendTest : public ::testing::TestWithParam<Where> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        location_ = GetParam() == Where::File ? dir_.filePath(QStringLiteral("KESTU.MDB")).toStdString()
                                              : testsupport::NewServerDatabase();
        ASSERT_FALSE(location_.empty());
    }
    void TearDown() override
    {
        if (GetParam() == Where::Server) testsupport::DropServerDatabase(location_);
    }

    // A statement run past the program, as the experimenter's own SQL tool would.
    void Sql(const std::string& statement)
    {
        if (GetParam() == Where::File)
            testsupport::RawSql(location_, statement);
        else
            EXPECT_TRUE(testsupport::ServerSql(location_, statement));
    }

    QTemporaryDir dir_;
    std::string location_;
};

inline std::string BackendName(const ::testing::TestParamInfo<Where>& info)
{
    return info.param == Where::File ? "SqliteFile" : "PostgresServer";
}

}  // namespace kestu::testing
