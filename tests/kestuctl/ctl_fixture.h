#pragma once

#include <gtest/gtest.h>

#include "support/raw_sql.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/command_line.h"
#include "trials/headless_trial.h"

namespace kestu::ctl::testing {

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Each test gets a folder of its own holding a database with the standard scenario.
class CtlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        db_ = Path("KESTU.MDB");
        auto created = ExperimentDb::Create(db_, NewDbContent::StandardScenario);
        ASSERT_TRUE(created.ok()) << created.error();
    }

    // Joined as bytes, so a name that is not UTF-8 stays as given.
    std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

    // Runs a command in-process; `wrap`, when given, goes in front of every output file.
    static CommandResult Run(const std::vector<std::string>& args, const SinkWrapper& wrap = {})
    {
        std::ostringstream out, err;
        Console console{out, err, false, wrap};
        CommandResult result;
        result.status = RunCommand(args, console);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    static void WriteFile(const std::string& path, const std::string& text)
    {
        std::ofstream file(path, std::ios::binary);
        file << text;
        ASSERT_TRUE(file.good()) << path;
    }

    static std::string ReadFile(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // The rows of CSV or log text, each of which must end with CR LF.
    static std::vector<std::string> Rows(const std::string& text)
    {
        std::vector<std::string> rows;
        for (std::size_t start = 0; start < text.size();) {
            const auto end = text.find("\r\n", start);
            EXPECT_NE(end, std::string::npos) << "every row ends with CR LF";
            rows.push_back(text.substr(start, end - start));
            start = end == std::string::npos ? text.size() : end + 2;
        }
        return rows;
    }

    static ::testing::AssertionResult Has(const std::string& text, const std::string& part)
    {
        if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
    }

    // The command fails with exit status 1 and says `message`.
    static void ExpectFails(const std::vector<std::string>& args, const std::string& message)
    {
        const CommandResult result = Run(args);
        EXPECT_EQ(result.status, ExitFailure) << args.front() << ": " << message;
        EXPECT_TRUE(Has(result.err, message));
    }

    ScenarioTables Scenario(const std::string& path = {})
    {
        auto db = ExperimentDb::Open(path.empty() ? db_ : path, OpenMode::ReadOnly);
        EXPECT_TRUE(db.ok()) << db.error();
        if (!db.ok()) return {};
        auto read = db.value()->ReadScenario();
        EXPECT_TRUE(read.ok()) << read.error();
        return read.ok() ? read.value() : ScenarioTables{};
    }

    // Every row of `table` with each cell's storage type and value, read
    // directly from the file: equal dumps mean the table did not change.
    std::string Dump(const std::string& table) { return Query("SELECT * FROM \"" + table + "\" ORDER BY rowid", true); }
    std::string DumpScenario() { return Dump("exogenous") + "|" + Dump("deadline") + "|" + Dump("sorttable"); }

    // Runs statements on the file directly, as an experimenter's SQLite tool would.
    void Sql(const std::string& statement) { Query(statement, false); }

    // A real Experiment trial of the standard scenario run through the core
    // with the Random method: its log is <userId>.<trial> beside the database
    // and its completed "Experiments" row holds the trial's own figures.
    TrialOutcome RecordTrial(const std::string& userId, int trial, std::uint64_t seed, bool completeRow = true)
    {
        QTemporaryDir scratch;
        HeadlessOptions options;
        options.seed = seed;
        options.userId = userId;
        options.logFolder = scratch.path().toStdString();
        const TrialOutcome outcome = RunHeadlessTrial(Scenario(), options);
        const QString written = scratch.filePath(QString::fromStdString(userId + ".1"));
        const QString logPath = QString::fromStdString(Path(userId + "." + std::to_string(trial)));
        EXPECT_TRUE(QFile::copy(written, logPath)) << logPath.toStdString();

        auto db = ExperimentDb::Open(db_, OpenMode::ReadWrite);
        EXPECT_TRUE(db.ok()) << db.error();
        if (!db.ok()) return outcome;
        auto row = db.value()->AddExperiment({userId, trial, "2024-05-06", "10:00:00", "Standard", 8});
        EXPECT_TRUE(row.ok()) << row.error();
        if (completeRow && row.ok()) {
            ExperimentResult result;
            result.EndTime = "10:08:01";
            result.MissedBuckets = static_cast<double>(outcome.missed.Total);
            if (outcome.shares) {
                result.BusyTime = outcome.shares->BusyTime;
                result.SweepTime = outcome.shares->SweepTime;
                result.IdleTime = outcome.shares->IdleTime;
            }
            auto completed = db.value()->CompleteExperiment(row.value(), result);
            EXPECT_TRUE(completed.ok()) << completed.error();
        }
        return outcome;
    }

    QStringList FilesInFolder() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QTemporaryDir dir_;
    std::string db_;

private:
    std::string Query(const std::string& statement, bool collect)
    {
        std::string text;
        for (const auto& row : testsupport::RawSql(db_, statement)) {
            if (!collect) break;
            for (const QVariant& v : row)
                text += std::string(v.isNull() ? "null" : v.typeName()) + ":" + v.toString().toStdString() + ",";
            text += "\n";
        }
        return text;
    }
};

}  // namespace kestu::ctl::testing
