// The programs' command lines as a new user meets them on a terminal: help
// and wrong arguments work without a display, a study folder without a
// database is refused at the start with the command that makes one, and the
// program says nothing on the console when nothing is wrong.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <filesystem>

namespace {

struct Finished {
    int status = -1;
    bool crashed = true;
    std::string out, err;
};

// The environment of a terminal without any display, unless `display` names a Qt platform.
QProcessEnvironment Terminal(const QString& display = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "KESTU_STARTUP_PROBE"})
        env.remove(QString::fromLatin1(name));
    if (!display.isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), display);
    return env;
}

Finished Start(const QString& program, const QStringList& args, const QProcessEnvironment& env = Terminal())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    Finished run;
    if (!process.waitForStarted(10000) || !process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.err = "did not run to its end: " + process.errorString().toStdString();
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

const QString Kestu = QStringLiteral(KESTU_PROGRAM);
const QString InitDb = QStringLiteral(KESTU_INITDB_PROGRAM);
const std::string Usage = "usage: kestu [--data STUDY_FOLDER] [--seat NAME] [--lsl]\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ProgramCommandLineTest, HelpPrintsTheUsageAndSucceedsWithoutADisplay)
{
    for (const char* help : {"--help", "-h"}) {
        const Finished kestu = Start(Kestu, {QString::fromLatin1(help)});
        EXPECT_FALSE(kestu.crashed) << help << ": " << kestu.err;
        EXPECT_EQ(kestu.status, 0) << help;
        EXPECT_EQ(kestu.out, Usage) << help;
        EXPECT_EQ(kestu.err, "") << help;
        const Finished initdb = Start(InitDb, {QString::fromLatin1(help)});
        EXPECT_EQ(std::pair(initdb.crashed, initdb.status), std::pair(false, 0)) << help << ": " << initdb.err;
        EXPECT_TRUE(initdb.out.starts_with("usage: kestu-initdb PATH\n")) << initdb.out;
        EXPECT_EQ(initdb.err, "") << help;
    }
    // A command line kestu-initdb cannot use is still refused with the usage.
    const Finished wrong = Start(InitDb, {});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_TRUE(wrong.err.starts_with("usage: kestu-initdb PATH\n")) << wrong.err;
}

TEST(ProgramCommandLineTest, AWrongCommandLineSaysWhatIsWrongWithoutADisplay)
{
    const std::pair<QStringList, std::string> cases[] = {
        {{"--data"}, "kestu: --data needs the study folder after it\n" + Usage},
        {{"--data", ""}, "kestu: the study folder after --data is empty\n" + Usage},
        {{"--verbose"}, "kestu: unknown argument \"--verbose\"\n" + Usage},
        {{"--seat"}, "kestu: --seat needs the seat's name after it\n" + Usage},
        {{"--seat", ""}, "kestu: the seat's name after --seat must be 1 to 200 bytes long\n" + Usage},
        {{"--data", "/nonexistent/study"}, "kestu: the study folder \"/nonexistent/study\" does not exist\n"},
    };
    for (const auto& [args, message] : cases) {
        const Finished run = Start(Kestu, args);
        EXPECT_FALSE(run.crashed) << args.join(' ').toStdString();
        EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
        EXPECT_EQ(run.err, message);
        EXPECT_EQ(run.out, "");
    }
}

// Before any window, with nothing written into the folder; the command it
// gives makes a database the program then starts on.
TEST(ProgramCommandLineTest, AStudyFolderWithoutADatabaseIsRefusedAtTheStartWithTheCommandThatMakesOne)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    for (const QString& name : {QStringLiteral("empty"), QStringLiteral("study 'two'")}) {
        SCOPED_TRACE(name.toStdString());
        const QString folder = scratch.filePath(name);
        ASSERT_TRUE(QDir().mkpath(folder));
        const Finished run = Start(Kestu, {QStringLiteral("--data"), folder});
        EXPECT_FALSE(run.crashed) << "a window was tried: " << run.err;
        EXPECT_EQ(run.status, 1);
        const std::string database = folder.toStdString() + "/KESTU.MDB";
        EXPECT_TRUE(Has(run.err, "kestu: there is no database " + database + "; nothing was written.")) << run.err;
        EXPECT_TRUE(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));

        // The command on the message's second line, as a user pastes it.
        const auto lineStart = run.err.find("\n  ");
        ASSERT_NE(lineStart, std::string::npos) << run.err;
        std::string command = run.err.substr(lineStart + 3);
        command = command.substr(0, command.find('\n'));
        EXPECT_TRUE(Has(command, "kestu-initdb ")) << command;
        const Finished made = Start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(command)});
        ASSERT_EQ(made.status, 0) << command << ": " << made.err;
        EXPECT_TRUE(std::filesystem::is_regular_file(database)) << command;

        QProcessEnvironment probe = Terminal(QStringLiteral("offscreen"));
        probe.insert(QStringLiteral("KESTU_STARTUP_PROBE"), QStringLiteral("1"));
        const Finished started = Start(Kestu, {QStringLiteral("--data"), folder}, probe);
        EXPECT_EQ(started.status, 0) << started.err;
        EXPECT_TRUE(Has(started.out, "login window shown after")) << started.out;
    }
}

// Outside `make run` nobody sets XDG_RUNTIME_DIR; the program's console then
// carries only its own lines.
TEST(ProgramCommandLineTest, TheProgramSaysNothingOnTheConsoleWhenNothingIsWrong)
{
    QTemporaryDir study;
    ASSERT_TRUE(study.isValid());
    ASSERT_EQ(Start(InitDb, {study.filePath(QStringLiteral("KESTU.MDB"))}).status, 0);
    QProcessEnvironment probe = Terminal(QStringLiteral("offscreen"));
    probe.insert(QStringLiteral("KESTU_STARTUP_PROBE"), QStringLiteral("1"));
    const Finished run = Start(Kestu, {QStringLiteral("--data"), study.path()}, probe);
    EXPECT_EQ(std::pair(run.crashed, run.status), std::pair(false, 0)) << run.err;
    EXPECT_EQ(run.err, "Kestu: study folder " + study.path().toStdString() + "\n");
    EXPECT_TRUE(Has(run.out, "login window shown after")) << run.out;
}

}  // namespace
