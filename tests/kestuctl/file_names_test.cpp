// File names are the system's bytes: a name that is not UTF-8 is written as
// given, or, where the database driver would need it as text, refused.
#include "ctl_fixture.h"

#include <filesystem>

namespace kestu::ctl::testing {
namespace {

namespace fs = std::filesystem;

using FileNameTest = CtlTest;

// "\xFF" is never UTF-8; decoded as text it becomes U+FFFD, EF BF BD.
const std::string NotUtf8 = "\xFF";
const std::string Replacement = "\xEF\xBF\xBD";

TEST_F(FileNameTest, OutputNamesThatAreNotUtf8AreWrittenAsTheirBytes)
{
    RecordTrial("p1", 1, 6);
    const std::string scenario = Path("scenario" + NotUtf8);
    struct Case {
        std::vector<std::string> args;
        std::string written;
    };
    const std::vector<Case> cases = {
        {{"log2csv", Path("p1.1"), "--out", Path("log" + NotUtf8 + ".csv")}, Path("log" + NotUtf8 + ".csv")},
        {{"export", db_, "--out", Path("exp" + NotUtf8 + ".csv")}, Path("exp" + NotUtf8 + ".csv")},
        {{"plot", Path("p1.1"), "--png", Path("chart" + NotUtf8 + ".png")}, Path("chart" + NotUtf8 + ".png")},
        {{"export-scenario", db_, scenario}, scenario + "/deadline.csv"},
        {{"import-scenario", db_, scenario}, scenario + "/deadline.csv"},  // reads back from the same folder
    };
    for (const Case& c : cases) {
        const CommandResult result = Run(c.args);
        EXPECT_EQ(result.status, ExitOk) << c.args.front() << ": " << result.err;
        EXPECT_TRUE(fs::is_regular_file(c.written)) << c.args.front();
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path().toStdString())) {
        EXPECT_EQ(entry.path().string().find(Replacement), std::string::npos) << "a name was decoded on its way";
    }
}

TEST_F(FileNameTest, ADatabaseNameThatIsNotUtf8IsRefusedRatherThanMangled)
{
    RecordTrial("p1", 1, 6);
    const std::string odd = Path("k" + NotUtf8 + ".mdb");
    fs::copy_file(db_, odd);
    // What the name would turn into as text: opening this file instead would look like success.
    fs::copy_file(db_, Path("k" + Replacement + ".mdb"));
    const std::string refused = "k\\xFF.mdb: the path is not valid UTF-8";
    const std::vector<std::vector<std::string>> commands = {
        {"export", odd},
        {"export-scenario", odd, Path("scenario")},
        {"replay", odd, Path("p1.1")},
        {"rescore", odd, "p1"},
        {"baseline", odd, "--trials", "1"},
        {"plot", Path("p1.1"), "--png", Path("chart.png"), "--db", odd},
        {"init", Path("new" + NotUtf8 + ".mdb")},
    };
    for (const auto& args : commands) {
        const CommandResult result = Run(args);
        EXPECT_EQ(result.status, ExitFailure) << args.front();
        EXPECT_TRUE(Has(result.err, args.front() == "init" ? "new\\xFF.mdb: the path is not valid UTF-8" : refused));
    }
    EXPECT_FALSE(fs::exists(Path("new" + NotUtf8 + ".mdb")));
    EXPECT_FALSE(fs::exists(Path("new" + Replacement + ".mdb")));
    EXPECT_FALSE(fs::exists(Path("chart.png")));
    EXPECT_FALSE(fs::exists(Path("scenario")));
}

}  // namespace
}  // namespace kestu::ctl::testing
