// How the commands that use a trial log meet it: each reads it from its file
// once, whatever it does with it; plot writes the image format its file's
// name asks for; and the program as built says nothing that looks like a
// fault when nothing failed.
#include "ctl_fixture.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>

#include "kestuctl/load_scenario.h"

namespace kestu::ctl::testing {
namespace {

// Counts the times any part of this process opens one file, as the kernel
// sees them: no seam in the code, so a read through any library is counted.
class FileOpens {
public:
    explicit FileOpens(const std::string& path)
    {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        // Reads and closes sit between two opens, so no two opens are merged into one event.
        if (fd_ >= 0) watch_ = inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS | IN_CLOSE_NOWRITE);
    }
    ~FileOpens()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Watching() const { return watch_ >= 0; }

    // The opens since the last call.
    int Take()
    {
        int opens = 0;
        alignas(inotify_event) char buffer[64 * 1024];
        for (ssize_t got; (got = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                opens += (event->mask & IN_OPEN) != 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return opens;
    }

private:
    int fd_ = -1;
    int watch_ = -1;
};

class LogReadingTest : public CtlTest {};

TEST_F(LogReadingTest, EveryCommandReadsTheTrialLogFromItsFileOnce)
{
    RecordTrial("p1", 1, 41);
    const std::string log = Path("p1.1");
    {
        auto db = ExperimentDb::Open(db_, OpenMode::ReadWrite);
        ASSERT_TRUE(db) << db.error();
        ASSERT_TRUE(db.value()->StoreTrialLog({"p1", 1, "seat", ReadFile(log), "2024-05-06 10:08:01"}));
    }
    FileOpens opens(log);
    ASSERT_TRUE(opens.Watching());
    ASSERT_EQ(opens.Take(), 0);

    const std::vector<std::vector<std::string>> commands = {
        {"replay", db_, log},
        {"replay", db_, log, "--json"},
        {"rescore", db_, "p1", "1"},
        {"log2csv", log, "--out", Path("p1.csv")},
        {"log2csv", log, "--every-tick", "--out", Path("p1-ticks.csv")},
        {"plot", log, "--png", Path("p1.png")},
    };
    for (const auto& args : commands) {
        Ok(args);
        EXPECT_EQ(opens.Take(), 1) << args[0] << " " << args.back();
    }
    // fetch-logs reads a file already there once, to find it holds the same bytes.
    EXPECT_TRUE(Has(Ok({"fetch-logs", db_, dir_.path().toStdString()}), "0 logs written, 1 already there"));
    EXPECT_EQ(opens.Take(), 1) << "fetch-logs";

    // A log the replay refuses is read once as well.
    WriteFile(Path("p2.1"), "0,5,\"ON\",3\r\n");
    FileOpens refused(Path("p2.1"));
    ExpectFails({"replay", db_, Path("p2.1")}, Path("p2.1") + ", line 1: the record has no state line");
    EXPECT_EQ(refused.Take(), 1);
}

// A chart goes into the format its file's name asks for; a name asking for
// one that cannot be written is a wrong command line, and nothing is written.
TEST_F(LogReadingTest, PlotWritesTheImageFormatItsFileNameAsksForOrRefuses)
{
    RecordTrial("p1", 1, 42);
    const std::pair<std::string, std::string> files[] = {
        {"chart.jpg", "\xFF\xD8\xFF"}, {"chart.PNG", "\x89PNG"}, {"chart.bmp", "BM"}, {"chart", "\x89PNG"}};
    for (const auto& [name, start] : files) {
        EXPECT_EQ(Ok({"plot", Path("p1.1"), "--png", Path(name)}), Path(name) + "\n");
        EXPECT_EQ(ReadFile(Path(name)).substr(0, start.size()), start) << name;
    }
    const CommandResult gif = Run({"plot", Path("p1.1"), "--png", Path("chart.gif")});
    EXPECT_EQ(gif.status, ExitUsage);
    EXPECT_TRUE(Has(gif.err, Path("chart.gif") + ": a chart cannot be written as \".gif\""));
    EXPECT_FALSE(std::filesystem::exists(Path("chart.gif")));
}

// kestuctl plot as built, where the session names no runtime folder (a cron
// job, a shell without a login session): standard error holds only the line
// naming the database, and the program leaves no folder of its own behind.
TEST_F(LogReadingTest, PlotWithoutARuntimeFolderPrintsNothingThatLooksLikeAFault)
{
    const QString program = QCoreApplication::applicationDirPath() + "/kestuctl";
    if (!QFileInfo(program).isExecutable()) GTEST_SKIP() << "kestuctl is not built beside the tests";
    RecordTrial("p1", 1, 43);
    const auto leftovers = [] {
        std::size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
            n += entry.path().filename().string().starts_with("kestuctl-runtime-");
        return n;
    };
    const std::size_t before = leftovers();

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("XDG_RUNTIME_DIR");
    environment.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(environment);
    process.start(program, {Q("plot"), Q(Path("p1.1")), Q("--png"), Q(Path("p1.png"))});
    ASSERT_TRUE(process.waitForFinished(120000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), ExitOk) << err;
    EXPECT_EQ(err, "kestuctl: database " + *DatabaseShown(db_) + "\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(Path("p1.png")));
    EXPECT_EQ(leftovers(), before);
}

}  // namespace
}  // namespace kestu::ctl::testing
