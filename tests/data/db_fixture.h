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

// A trial row's start and, with no cleaning share, its end.
inline ExperimentStart Start(const std::string& user, int trial) { return {user, trial, "2024-03-05", "14:07:09", "Standard", 15}; }
inline ExperimentResult End(const std::string& time = "14:22:10") { return {time, 2.5, 0.25, std::nullopt, 0.5}; }

// Each test gets a folder of its own with room for one database file.
class DbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        path_ = Path("KESTU.MDB");
    }

    std::string Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)).toStdString(); }

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

    // One statement run on the file as an experimenter's SQLite tool would; its first cell.
    QVariant Sql(const std::string& statement) { return testsupport::RawSqlValue(path_, statement); }
    int Count(const std::string& table) { return Sql("SELECT count(*) FROM \"" + table + "\"").toInt(); }

    QTemporaryDir dir_;
    std::string path_;
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
