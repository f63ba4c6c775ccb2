// Output files are replaced whole or not at all, and a full standard output
// is a failure, not a short result.
#include "ctl_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace kestu::ctl::testing {
namespace {

// Counts writes across every file of a command and fails the Nth as a full
// disk does: part of the bytes reach the file, then the write fails.
class FullDiskSink : public FileSink {
public:
    FullDiskSink(std::unique_ptr<FileSink> inner, std::shared_ptr<int> writes, int failing)
        : inner_(std::move(inner)), writes_(std::move(writes)), failing_(failing)
    {
    }
    bool Write(std::string_view bytes) override
    {
        if (++*writes_ != failing_) return inner_->Write(bytes);
        inner_->Write(bytes.substr(0, bytes.size() / 2));
        full_ = true;
        return false;
    }
    bool Sync() override { return inner_->Sync(); }
    bool Truncate(long long size) override { return inner_->Truncate(size); }
    bool Close() override { return inner_->Close(); }
    std::string Error() const override { return full_ ? "No space left on device" : inner_->Error(); }

private:
    std::unique_ptr<FileSink> inner_;
    std::shared_ptr<int> writes_;
    int failing_;
    bool full_ = false;
};

SinkWrapper FailOnWrite(int n)
{
    auto writes = std::make_shared<int>(0);
    return [writes, n](std::unique_ptr<FileSink> inner) -> std::unique_ptr<FileSink> {
        return std::make_unique<FullDiskSink>(std::move(inner), writes, n);
    };
}

class OutputFileTest : public CtlTest {
protected:
    std::vector<std::string> Names(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(OutputFileTest, AWriteFailingHalfwayLeavesTheOldFilesAndSaysWhy)
{
    RecordTrial("p1", 1, 5);
    const std::string out = Path("out.csv"), png = Path("chart.png"), scenario = Path("scenario");
    std::filesystem::create_directory(scenario);
    const std::string exogenous = scenario + "/exogenous.csv", deadline = scenario + "/deadline.csv",
                      sorttable = scenario + "/sorttable.csv";
    struct Case {
        std::vector<std::string> args;
        int failingWrite;
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

        const CommandResult result = Run(c.args, FailOnWrite(c.failingWrite));
        EXPECT_EQ(result.status, ExitFailure);
        EXPECT_TRUE(Has(result.err, c.failing + ": cannot be written (No space left on device)"));
        for (const std::string& file : c.kept) EXPECT_EQ(ReadFile(file), "old " + file);
        for (const std::string& file : c.replaced) EXPECT_NE(ReadFile(file), "old " + file);
        EXPECT_EQ(Names(dir_.path().toStdString()), before) << "a temporary file was left behind";
        EXPECT_EQ(Names(scenario), beforeScenario) << "a temporary file was left behind";

        // With room on the disk the same command does replace them.
        ASSERT_EQ(Run(c.args).status, ExitOk);
        for (const std::string& file : c.kept) EXPECT_NE(ReadFile(file), "old " + file);
    }
}

TEST_F(OutputFileTest, ADeviceNamedAsTheOutputIsRefusedAndLeftAlone)
{
    struct stat before {};
    if (::stat("/dev/full", &before) != 0) GTEST_SKIP() << "no /dev/full here";
    RecordTrial("p1", 1, 5);
    ExpectFails({"export", db_, "--out", "/dev/full"}, "/dev/full: cannot be written (");
    ExpectFails({"log2csv", Path("p1.1"), "--out", "/dev/full"}, "/dev/full: cannot be written (");
    struct stat after {};
    ASSERT_EQ(::stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, before.st_rdev);
}

TEST_F(OutputFileTest, AStandardOutputThatCannotBeWrittenIsAFailure)
{
    RecordTrial("p1", 1, 5);
    // Results written through the output writer, a report written directly, and the help.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", db_}, {"replay", db_, Path("p1.1")}, {"--help"}}) {
        std::ofstream full("/dev/full", std::ios::binary);
        if (!full) GTEST_SKIP() << "no /dev/full here";
        std::ostringstream err;
        EXPECT_EQ(RunCommand(args, full, err), ExitFailure) << args.front();
        EXPECT_TRUE(Has(err.str(), "cannot write to the standard output"));
    }
}

}  // namespace
}  // namespace kestu::ctl::testing
