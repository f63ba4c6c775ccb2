#pragma once

#include <gtest/gtest.h>

#include "support/raw_sql.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>
#include <string>

#include "data/experiment_db.h"

namespace kestu::testing {

// Each test gets a folder of its own with room for one database file.
class DbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("KESTU.MDB")).toStdString();
    }

    void CreateDb(NewDbContent content = NewDbContent::SchemaOnly)
    {
        auto created = ExperimentDb::Create(path_, content);
        ASSERT_TRUE(created.ok()) << created.error();
    }

    std::unique_ptr<ExperimentDb> OpenDb(OpenMode mode = OpenMode::ReadWrite)
    {
        auto opened = ExperimentDb::Open(path_, mode);
        EXPECT_TRUE(opened.ok()) << opened.error();
        return opened.ok() ? std::move(opened).value() : nullptr;
    }

    Result<ScenarioTables> ReadScenario()
    {
        auto db = OpenDb(OpenMode::ReadOnly);
        return db ? db->ReadScenario() : Result<ScenarioTables>::Fail("not opened");
    }

    // Runs one statement on the file directly, as an experimenter's SQLite tool would.
    void Sql(const std::string& statement) { RunRaw(statement); }

    // The first column of the first row of a query run directly on the file.
    QVariant SqlValue(const std::string& query) { return RunRaw(query); }
    int Count(const std::string& table) { return SqlValue("SELECT count(*) FROM \"" + table + "\"").toInt(); }

    std::string path_;

private:
    QVariant RunRaw(const std::string& statement) { return testsupport::RawSqlValue(path_, statement); }

    QTemporaryDir dir_;
};

// A new database without a scenario, open for reading and writing.
class OpenDbTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        CreateDb();
        db_ = OpenDb();
        ASSERT_NE(db_, nullptr);
    }
    std::unique_ptr<ExperimentDb> db_;
};

}  // namespace kestu::testing
