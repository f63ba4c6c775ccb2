// Output files are replaced whole or not at all, and a full standard output
// is a failure, not a short result.
#include "ctl_fixture.h"
#include "trials/failing_sink.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace kestu::ctl::testing {
namespace {

// The Nth file a command writes fails as a full disk does: half of its first
// write reaches the file, then the write fails.
SinkWrapper FailNthFile(int n)
{
    auto files = std::make_shared<int>(0);
    return [files, n](std::unique_ptr<FileSink> inner) -> std::unique_ptr<FileSink> {
        if (++*files != n) return inner;
        return std::make_unique<kestu::testing::FailingSink>(std::move(inner), 1);
    };
}

using OutputFileTest = CtlTest;

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(OutputFileTest, AWriteFailingHalfwayLeavesTheOldFilesAndSaysWhy)
{
    RecordTrial("p1", 1, 5);
    const std::string out = Path("out.csv"), png = Path("chart.png"), scenario = Path("scenario");
    std::filesystem::create_directory(scenario);
    const std::string exogenous = scenario + "/exogenous.csv", deadline = scenario + "/deadline.csv",
                      sorttable = scenario + "/sorttable.csv";
    struct Case {
        std::vector<std::string> args;
        int failingFile;
        std::string failing;                // the file the message names
        std::vector<std::string> kept;      // still hold their old text
        std::vector<std::string> replaced;  // written before the failure
    };
    const std::vector<Case> cases = {
        {{"export", db_, "--out", out}, 1, out, {out}, {}},
        {{"log2csv", Path("p1.1"), "--out", out}, 1, out, {out}, {}},
        {{"plot", Path("p1.1"), "--png", png}, 1, png, {png}, {}},
        // Each file on its own: the first is in place, the one that failed and the rest are not touched.
        {{"export-scenario", db_, scenario}, 2, deadline, {deadline, sorttable}, {exogenous}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        for (const std::string& file : {out, png, exogenous, deadline, sorttable}) WriteFile(file, "old " + file);
        const auto before = Names(dir_.path().toStdString()), beforeScenario = Names(scenario);

        const CommandResult result = Run(c.args, FailNthFile(c.failingFile));
        EXPECT_EQ(result.status, ExitFailure);
        EXPECT_TRUE(Has(result.err, c.failing + ": cannot be written (No space left on device)"));
        for (const std::string& file : c.kept) EXPECT_EQ(ReadFile(file), "old " + file);
        for (const std::string& file : c.replaced) EXPECT_NE(ReadFile(file), "old " + file);
        EXPECT_EQ(Names(dir_.path().toStdString()), before) << "a temporary file was left behind";
        EXPECT_EQ(Names(scenario), beforeScenario) << "a temporary file was left behind";

        // With room on the disk the same command does replace them.
        Ok(c.args);
        for (const std::string& file : c.kept) EXPECT_NE(ReadFile(file), "old " + file);
    }
}

// /dev/full takes no byte: named as the output it is refused and left a
// device; as the standard output it makes the command fail.
TEST_F(OutputFileTest, AFullDeviceAsTheOutputOrTheStandardOutputIsAFailure)
{
    struct stat before {};
    if (::stat("/dev/full", &before) != 0) GTEST_SKIP() << "no /dev/full here";
    RecordTrial("p1", 1, 5);
    ExpectFails({"export", db_, "--out", "/dev/full"}, "/dev/full: cannot be written (");
    ExpectFails({"log2csv", Path("p1.1"), "--out", "/dev/full"}, "/dev/full: cannot be written (");
    struct stat after {};
    ASSERT_EQ(::stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode) && after.st_rdev == before.st_rdev);

    // Results written through the output writer, a report written directly, and the help.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", db_}, {"replay", db_, Path("p1.1")}, {"--help"}}) {
        std::ofstream full("/dev/full", std::ios::binary);
        std::ostringstream err;
        EXPECT_EQ(RunCommand(args, full, err), ExitFailure) << args.front();
        EXPECT_TRUE(Has(err.str(), "cannot write to the standard output"));
    }
}

}  // namespace
}  // namespace kestu::ctl::testing
