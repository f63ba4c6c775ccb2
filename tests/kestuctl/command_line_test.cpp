// The command line as every command shares it: help, usage errors and their exit status.
#include "ctl_fixture.h"

#include "kestuctl/command_line.h"
#include "kestuctl/commands.h"

namespace kestu::ctl::testing {
namespace {

using CommandLineTest = CtlTest;

TEST_F(CommandLineTest, TheListAndEveryCommandHaveHelpWithUsageAndAnExample)
{
    const CommandResult list = Run({"--help"});
    EXPECT_EQ(list.status, ExitOk);
    EXPECT_EQ(Run({}).status, ExitUsage);
    for (const Command* command : AllCommands()) {
        EXPECT_TRUE(Has(list.out, "  " + command->name + " "));
        const CommandResult help = Run({command->name, "--help"});
        EXPECT_EQ(help.status, ExitOk) << command->name;
        EXPECT_EQ(help.out.rfind("usage: kestuctl " + command->name, 0), 0u) << help.out;
        const auto example = help.out.find("Example:\n");
        ASSERT_NE(example, std::string::npos) << command->name;
        EXPECT_NE(help.out.find("  kestuctl " + command->name + " ", example), std::string::npos) << command->name;
        EXPECT_EQ(Run({"help", command->name}).out, help.out);
    }
}

TEST_F(CommandLineTest, WrongCommandLinesExitWithTwoAndSayWhy)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"frobnicate"}, "no command named \"frobnicate\""},
        {{"replay", db_}, "missing LOGFILE"},
        {{"import-scenario"}, "missing DB"},
        {{"init", "a.mdb", "b.mdb"}, "unexpected argument \"b.mdb\""},
        {{"export", db_, "--colour"}, "unknown option --colour"},
        {{"export", db_, "--out"}, "--out needs a value"},
        {{"export", db_, "--out", "a", "--out", "b"}, "--out is given twice"},
        {{"replay", db_, "x.1", "--json=yes"}, "--json takes no value"},
        {{"export", db_, "--table", "answers"}, "--table is \"participants\" or \"experiments\""},
        {{"baseline", db_}, "missing --trials N"},
        {{"baseline", db_, "--trials", "0"}, "--trials is a whole number"},
        {{"baseline", db_, "--trials", "ten"}, "--trials is a whole number"},
        {{"baseline", db_, "--trials", "5", "--jobs", "0"}, "--jobs is a whole number"},
        {{"baseline", db_, "--trials", "5", "--seed", "-3"}, "--seed is a whole number"},
        {{"rescore", db_, "p1", "2", "--all"}, "either TRIAL or --all"},
        {{"rescore", db_, "p1", "two"}, "TRIAL is a trial number"},
        {{"plot", "p1.1"}, "missing --png FILE"},
    };
    for (const Case& c : cases) {
        const CommandResult result = Run(c.args);
        EXPECT_EQ(result.status, ExitUsage) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty()) << c.message;
    }
}

}  // namespace
}  // namespace kestu::ctl::testing
