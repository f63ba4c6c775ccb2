// kestu-demo and kestuctl as built, run as an experimenter runs them: their
// exit status and messages for a wrong command line or a place they cannot write.
#include "ctl_fixture.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include "kestuctl/logged_trial.h"

namespace kestu::ctl::testing {
namespace {

class ProgramTest : public CtlTest {
protected:
    // The programs are built into the same folder as the tests.
    static QString Program(const QString& name) { return QCoreApplication::applicationDirPath() + "/" + name; }

    static CommandResult Start(const QString& program, const std::vector<std::string>& args,
                               const QString& standardOutput = {})
    {
        QProcess process;
        process.setProgram(Program(program));
        QStringList arguments;
        for (const std::string& arg : args) arguments << QString::fromStdString(arg);
        process.setArguments(arguments);
        if (!standardOutput.isEmpty()) process.setStandardOutputFile(standardOutput);
        process.start();
        CommandResult result;
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return result;
        result.status = process.exitCode();
        result.out = process.readAllStandardOutput().toStdString();
        result.err = process.readAllStandardError().toStdString();
        return result;
    }
};

TEST_F(ProgramTest, DemoRefusesWrongCommandLinesAndSaysWhenItsLogCannotBeWritten)
{
    if (!QFileInfo(Program("kestu-demo")).isExecutable()) GTEST_SKIP() << "kestu-demo is not built";
    const std::string logs = Path("logs"), log = Path("logs/demo.1");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(logs)));
    WriteFile(log, "the last demo's log");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;  // on standard output for --help, otherwise on standard error
    };
    const std::vector<Case> cases = {
        {{"--db", db_, "--out", logs, "--seed", "abc"}, 2, "kestu-demo: --seed is a whole number"},
        {{"--db", db_, "--out", logs, "--seed", "-1"}, 2, "not \"-1\""},
        {{"--db", db_, "--out", logs, "--seed"}, 2, "--seed needs a value"},
        {{"--db", db_, "--out", logs, "--colour", "red"}, 2, "unknown argument \"--colour\""},
        {{"--db", db_, "--out", logs, "--help"}, 0, "usage: kestu-demo [--db FILE] [--out DIR] [--seed N]"},
        {{"--db", db_, "--out", Path("no/such/folder"), "--seed", "3"}, 1,
         Path("no/such/folder/demo.1") + ": cannot be written (No such file or directory)"},
    };
    for (const Case& c : cases) {
        const CommandResult result = Start("kestu-demo", c.args);
        EXPECT_EQ(result.status, c.status) << c.says << "\n" << result.err;
        EXPECT_TRUE(Has(c.status == 0 ? result.out : result.err, c.says));
        EXPECT_EQ(ReadFile(log), "the last demo's log") << "no trial was to run: " << c.says;
    }

    const CommandResult ran = Start("kestu-demo", {"--db", db_, "--out", logs, "--seed", "3"});
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(Has(ran.out, "trial log: " + log));
    const LoggedTrial trial = ReadLoggedTrial(log);
    ASSERT_TRUE(trial.error.empty()) << trial.error;
    EXPECT_EQ(trial.records.back().Kind, LogKind::Stop);
}

TEST_F(ProgramTest, KestuctlFailsWhenItsStandardOutputIsFull)
{
    if (!QFileInfo(Program("kestuctl")).isExecutable()) GTEST_SKIP() << "kestuctl is not built";
    if (!QFileInfo::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    const CommandResult result = Start("kestuctl", {"export", db_}, QStringLiteral("/dev/full"));
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_TRUE(Has(result.err, "kestuctl export: cannot write to the standard output"));
}

}  // namespace
}  // namespace kestu::ctl::testing
