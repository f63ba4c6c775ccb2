// The programs' command lines as a new user meets them on a terminal: help
// and wrong arguments work without a display, a study folder without a
// database is refused at the start with the command that makes one, the
// program says nothing on the console when nothing is wrong, both programs
// print one version, and without --data an installed program keeps its study
// in the user's own folder, never beside itself.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

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
const QString Ctl = QStringLiteral(KESTUCTL_PROGRAM);
const std::string Usage = "usage: kestu [--data STUDY_FOLDER] [--seat NAME] [--lsl] [--version]\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ProgramCommandLineTest, HelpPrintsTheUsageAndSucceedsWithoutADisplay)
{
    for (const char* help : {"--help", "-h"}) {
        QProcessEnvironment env = Terminal();
        env.insert(QStringLiteral("HOME"), QStringLiteral("/home/some user"));
        const Finished kestu = Start(Kestu, {QString::fromLatin1(help)}, env);
        EXPECT_FALSE(kestu.crashed) << help << ": " << kestu.err;
        EXPECT_EQ(kestu.status, 0) << help;
        EXPECT_TRUE(kestu.out.starts_with(Usage)) << help << ": " << kestu.out;
        EXPECT_TRUE(Has(kestu.out, "\n  /home/some user/Kestu\n")) << "names the user's own study folder: " << kestu.out;
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

// One version, the project's and (in a checkout) the commit, from both programs.
TEST(ProgramCommandLineTest, BothProgramsPrintTheSameVersion)
{
    const Finished kestu = Start(Kestu, {QStringLiteral("--version")});
    const Finished ctl = Start(Ctl, {QStringLiteral("--version")});
    EXPECT_EQ(std::pair(kestu.status, kestu.err), std::pair(0, std::string()));
    EXPECT_EQ(std::pair(ctl.status, ctl.err), std::pair(0, std::string()));
    ASSERT_TRUE(kestu.out.starts_with("kestu ")) << kestu.out;
    ASSERT_TRUE(ctl.out.starts_with("kestuctl ")) << ctl.out;
    const std::string version = kestu.out.substr(6);
    EXPECT_EQ(ctl.out.substr(9), version);
    EXPECT_TRUE(version.starts_with(KESTU_VERSION_NUMBER)) << version;
    EXPECT_TRUE(version.ends_with("\n") && version.find('\n') == version.size() - 1) << version;
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

// An installed program (one whose folder holds no study) run without --data:
// the user's own folder ~/Kestu, made with its database on the first start,
// used as it stands after; the program's own folder is never written.
TEST(ProgramCommandLineTest, WithoutDataAnInstalledProgramKeepsItsStudyInTheUsersOwnFolder)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString bin = scratch.filePath(QStringLiteral("bin"));
    const QString home = scratch.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(home));
    const QString program = bin + QStringLiteral("/kestu");
    ASSERT_TRUE(QFile::copy(Kestu, program));
    QProcessEnvironment env = Terminal(QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KESTU_STARTUP_PROBE"), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), home);
    const std::string study = home.toStdString() + "/Kestu";

    const Finished first = Start(program, {}, env);
    EXPECT_EQ(std::pair(first.crashed, first.status), std::pair(false, 0)) << first.err;
    EXPECT_TRUE(Has(first.out, "login window shown after")) << first.out;
    EXPECT_EQ(first.err, "Kestu: created the study folder " + study + " with the standard scenario\n"
                         "Kestu: study folder " + study + "\n");
    struct stat info {};
    ASSERT_EQ(::stat(study.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u) << "the questionnaire's answers are the user's alone";
    const Finished check = Start(InitDb, {QStringLiteral("--check"), QString::fromStdString(study + "/KESTU.MDB")});
    EXPECT_EQ(check.status, 0) << "the standard scenario: " << check.err;
    EXPECT_EQ(QDir(bin).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("kestu")});

    // The second start takes the folder as it is, database and all.
    const auto made = std::filesystem::last_write_time(study + "/KESTU.MDB");
    const Finished second = Start(program, {}, env);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.err, "Kestu: study folder " + study + "\n");
    EXPECT_EQ(std::filesystem::last_write_time(study + "/KESTU.MDB"), made);

    // A folder that holds something but no database (here a trial log whose
    // database was moved away) is not filled in: it is refused as --data
    // refuses it, and left as it was.
    ASSERT_TRUE(std::filesystem::remove(study + "/KESTU.MDB"));
    { QFile log(QString::fromStdString(study + "/ann.1")); ASSERT_TRUE(log.open(QIODevice::WriteOnly)); }
    const Finished refused = Start(program, {}, env);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.err, "kestu: there is no database " + study + "/KESTU.MDB; nothing was written.")) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(study + "/KESTU.MDB"));

    // A file where the folder should be is named, not written over.
    ASSERT_TRUE(std::filesystem::remove_all(study) > 0);
    { QFile blocker(QString::fromStdString(study)); ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); }
    const Finished blocked = Start(program, {}, env);
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.err, "kestu: cannot read the study folder \"" + study + "\": Not a directory\n");
    EXPECT_EQ(std::filesystem::file_size(study), 0u);
}

// A copy of the program with its study beside it keeps using that study.
TEST(ProgramCommandLineTest, WithoutDataAStudyBesideTheProgramIsUsed)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString program = scratch.filePath(QStringLiteral("kestu"));
    ASSERT_TRUE(QFile::copy(Kestu, program));
    ASSERT_EQ(Start(InitDb, {scratch.filePath(QStringLiteral("KESTU.MDB"))}).status, 0);
    const QString home = scratch.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    QProcessEnvironment env = Terminal(QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KESTU_STARTUP_PROBE"), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), home);
    const Finished run = Start(program, {}, env);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "Kestu: study folder " + scratch.path().toStdString() + "\n");
    EXPECT_TRUE(QDir(home).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) << "no folder of the user's made";
}

}  // namespace
