#pragma once

#include <gtest/gtest.h>

#include "support/raw_sql.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/experiment_db.h"
#include "kestuctl/command.h"
#include "kestuctl/command_line.h"
#include "trials/headless_trial.h"
#include "trials/log_reader.h"

namespace kestu::ctl::testing {

struct CommandResult { int status = -1; std::string out, err; };

inline QString Q(const std::string& path) { return QString::fromStdString(path); }

// Runs a command in-process; `wrap`, when given, goes in front of every output file.
inline CommandResult RunCtl(const std::vector<std::string>& args, const SinkWrapper& wrap = {})
{
    std::ostringstream out, err;
    Console console{out, err, false, wrap};
    const int status = RunCommand(args, console);
    return {status, out.str(), err.str()};
}

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

    static CommandResult Run(const std::vector<std::string>& args, const SinkWrapper& wrap = {}) { return RunCtl(args, wrap); }

    // Joined as bytes, so a name that is not UTF-8 stays as given.
    std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

    // The standard output of a command that must succeed.
    static std::string Ok(const std::vector<std::string>& args)
    {
        const CommandResult result = Run(args);
        EXPECT_EQ(result.status, ExitOk) << args.front() << ": " << result.err;
        return result.out;
    }

    // The command fails with exit status 1 and says `message`.
    static void ExpectFails(const std::vector<std::string>& args, const std::string& message)
    {
        const CommandResult result = Run(args);
        EXPECT_EQ(result.status, ExitFailure) << args.front() << ": " << message;
        EXPECT_TRUE(Has(result.err, message));
    }

    static ::testing::AssertionResult Has(const std::string& text, const std::string& part)
    {
        if (text.find(part) == std::string::npos) return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
        return ::testing::AssertionSuccess();
    }

    static void WriteFile(const std::string& path, const std::string& text) { ASSERT_TRUE(std::ofstream(path) << text) << path; }
    static std::string ReadFile(const std::string& path)
    {
        return std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {});
    }

    // The rows of CSV or log text, each of which must end with CR LF.
    static std::vector<std::string> Rows(const std::string& text)
    {
        EXPECT_TRUE(text.empty() || text.ends_with("\r\n")) << "every row ends with CR LF";
        std::vector<std::string> rows;
        for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            rows.push_back(text.substr(start, end - start));
        }
        return rows;
    }

    ScenarioTables Scenario(const std::string& path = {})
    {
        auto db = ExperimentDb::Open(path.empty() ? db_ : path, OpenMode::ReadOnly);
        auto read = db.ok() ? db.value()->ReadScenario() : Result<ScenarioTables>::Fail(db.error());
        EXPECT_TRUE(read.ok()) << read.error();
        return read.ok() ? read.value() : ScenarioTables{};
    }

    // Runs a statement on the file directly, as an experimenter's SQLite tool would.
    void Sql(const std::string& statement) { testsupport::RawSql(db_, statement); }

    std::string Dump(const std::string& table) { return testsupport::RawDump(db_, table); }
    std::string DumpScenario() { return Dump("exogenous") + "|" + Dump("deadline") + "|" + Dump("sorttable"); }

    // A trial of the standard scenario run through the core: its log <userId>.<trial>
    // beside the database, its row completed with its figures unless told not to.
    TrialOutcome RecordTrial(const std::string& userId, int trial, std::uint64_t seed, bool completeRow = true)
    {
        QTemporaryDir scratch;
        HeadlessOptions options;
        options.seed = seed;
        options.userId = userId;
        options.logFolder = scratch.path().toStdString();
        const TrialOutcome outcome = RunHeadlessTrial(Scenario(), options);
        EXPECT_TRUE(QFile::copy(scratch.filePath(Q(userId + ".1")), Q(Path(userId + "." + std::to_string(trial)))));

        auto db = ExperimentDb::Open(db_, OpenMode::ReadWrite);
        auto row = db.value()->AddExperiment({userId, trial, "2024-05-06", "10:00:00", "Standard", 8});
        const auto share = [&](double PumpShares::*part) {
            return outcome.shares ? std::optional(*outcome.shares.*part) : std::nullopt;
        };
        const ExperimentResult result{"10:08:01", static_cast<double>(outcome.missed.Total), share(&PumpShares::BusyTime),
                                      share(&PumpShares::SweepTime), share(&PumpShares::IdleTime)};
        EXPECT_TRUE(row.ok() && (!completeRow || db.value()->CompleteExperiment(row.value(), result).ok()));
        return outcome;
    }

    // The log cut after `records` records and ended with a STOP, as when the window closes mid-trial.
    void StopLogEarly(const std::string& name, std::size_t records)
    {
        const std::vector<std::string> lines = Rows(ReadFile(Path(name)));
        ASSERT_GT(lines.size(), 2 * records) << "the trial has more records than are kept";
        std::string cut;
        for (std::size_t i = 0; i < 2 * records; ++i) cut += lines[i] + "\r\n";
        const std::string& header = lines[2 * records - 2];
        WriteFile(Path(name), cut + header.substr(0, header.find(",\"")) + ",\"STOP\",0\r\n" + lines[2 * records - 1] + "\r\n");
    }

    // The log cut after `records` records with no STOP, as a crash or a failed
    // write leaves it; returns the clock of the last record kept.
    ClockTime CutLog(const std::string& name, std::size_t records)
    {
        const std::vector<std::string> lines = Rows(ReadFile(Path(name)));
        EXPECT_GT(lines.size(), 2 * records) << "the trial has more records than are kept";
        std::string cut;
        for (std::size_t i = 0; i < 2 * records && i < lines.size(); ++i) cut += lines[i] + "\r\n";
        WriteFile(Path(name), cut);
        LogRecord last;
        EXPECT_EQ(ParseHeaderLine(lines.at(2 * records - 2), last), "");
        return last.At;
    }

    QStringList FilesInFolder() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QTemporaryDir dir_;
    std::string db_;
};

}  // namespace kestu::ctl::testing
