// Messages that quote a file or an argument show its invisible bytes escaped,
// so a NUL, a carriage return or a byte-order mark cannot garble the terminal.
#include "ctl_fixture.h"

namespace kestu::ctl::testing {
namespace {

using MessageTextTest = CtlTest;

TEST_F(MessageTextTest, ControlBytesAndByteOrderMarksFromFilesAndArgumentsAreEscaped)
{
    using namespace std::string_literals;
    const std::string odd = "\0\r\xEF\xBB\xBF"s;  // NUL, CR, and a byte-order mark inside the text
    const std::string shown = "\\x00\\x0D\\xEF\\xBB\\xBF";

    WriteFile(Path("odd.1"), "0,0,\"ON" + odd + "\",3\r\n");
    const std::string scenario = Path("scenario");
    ASSERT_EQ(Run({"export-scenario", db_, scenario}).status, ExitOk);
    WriteFile(scenario + "/deadline.csv", "TankNum,Hr,Min,ExpectAmt\r\n1,2,\"" + odd + "\",3\r\n");

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"log2csv", Path("odd.1")}, ExitFailure, "field 3 (kind): \"ON" + shown + "\" is none of"},
        {{"import-scenario", db_, scenario}, ExitFailure, "column \"Min\": \"" + shown + "\" is not a number"},
        {{"export", db_, "--table", "x" + odd}, ExitUsage, "not \"x" + shown + "\""},
        {{"rescore", db_, "p" + odd}, ExitFailure, "User ID \"p" + shown + "\""},
    };
    for (const Case& c : cases) {
        const CommandResult result = Run(c.args);
        EXPECT_EQ(result.status, c.status) << c.args.front();
        EXPECT_TRUE(Has(result.err, c.message));
        for (char byte : result.err) {
            EXPECT_TRUE(byte == '\n' || static_cast<unsigned char>(byte) >= 0x20) << c.args.front() << ": " << result.err;
        }
        EXPECT_EQ(result.err.find("\xEF\xBB\xBF"), std::string::npos) << c.args.front();
    }
}

}  // namespace
}  // namespace kestu::ctl::testing
