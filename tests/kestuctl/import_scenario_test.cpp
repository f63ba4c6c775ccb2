// import-scenario and export-scenario: the scenario tables through CSV files,
// every check, and a rejected import leaving the database exactly as it was.
#include "ctl_fixture.h"

#include <QDir>

namespace kestu::ctl::testing {
namespace {

class ImportScenarioTest : public CtlTest {
protected:
    void SetUp() override
    {
        CtlTest::SetUp();
        folder_ = Path("scenario");
        const CommandResult exported = Run({"export-scenario", db_, folder_});
        ASSERT_EQ(exported.status, ExitOk) << exported.err;
        before_ = DumpScenario();
    }

    std::string File(const std::string& name) const { return folder_ + "/" + name; }

    std::vector<std::string> Lines(const std::string& name)
    {
        std::vector<std::string> lines;
        std::istringstream text(ReadFile(File(name)));
        for (std::string line; std::getline(text, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    void WriteLines(const std::string& name, const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        WriteFile(File(name), text);
    }

    // Replaces line `number` (1-based) of a file.
    void SetLine(const std::string& name, std::size_t number, const std::string& line)
    {
        auto lines = Lines(name);
        ASSERT_LE(number, lines.size());
        lines[number - 1] = line;
        WriteLines(name, lines);
    }

    void AddLine(const std::string& name, const std::string& line)
    {
        auto lines = Lines(name);
        lines.push_back(line);
        WriteLines(name, lines);
    }

    // An arrival row at minute:second with every tank at `water`.
    static std::string ArrivalLine(int minute, int second, const std::string& water = "1")
    {
        std::string line = std::to_string(minute) + "," + std::to_string(second);
        for (int t = 0; t < TankCount; ++t) line += "," + water;
        return line;
    }

    CommandResult Import() { return Run({"import-scenario", db_, folder_}); }

    // The import fails, names every given problem, and the tables are as before.
    void ExpectRejected(const std::vector<std::string>& problems)
    {
        const CommandResult result = Import();
        EXPECT_EQ(result.status, ExitFailure);
        for (const std::string& problem : problems) {
            EXPECT_NE(result.err.find(problem), std::string::npos) << "expected \"" << problem << "\" in:\n"
                                                                    << result.err;
        }
        EXPECT_NE(result.err.find("is unchanged"), std::string::npos) << result.err;
        EXPECT_EQ(DumpScenario(), before_);
    }

    std::string folder_;
    std::string before_;
};

TEST_F(ImportScenarioTest, ExportWritesTheThreeFilesWithTheirHeaders)
{
    EXPECT_EQ(Lines("exogenous.csv")[0], "Hr,Min,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22");
    EXPECT_EQ(Lines("deadline.csv")[0], "TankNum,Hr,Min,ExpectAmt");
    EXPECT_EQ(Lines("sorttable.csv")[0], "head,tail,sorta");
    const ScenarioTables tables = Scenario();
    EXPECT_EQ(Lines("exogenous.csv").size(), tables.exogenous.size() + 1);
    EXPECT_EQ(Lines("deadline.csv")[1], "11,2,0,33");
    EXPECT_EQ(Lines("sorttable.csv")[1], "0,1,0.45");
    EXPECT_EQ(ReadFile(File("deadline.csv")).substr(0, 27), "TankNum,Hr,Min,ExpectAmt\r\n1");
}

TEST_F(ImportScenarioTest, ExportedFilesImportBackToTheSameTables)
{
    const CommandResult result = Import();
    EXPECT_EQ(result.status, ExitOk) << result.err;
    EXPECT_NE(result.out.find("17 arrival rows, 12 deadline rows, 35 outlet rows"), std::string::npos) << result.out;
    EXPECT_EQ(DumpScenario(), before_);
}

TEST_F(ImportScenarioTest, ImportedValuesReachTheProgramExactly)
{
    SetLine("exogenous.csv", 3, ArrivalLine(0, 25, "0.30000000000000004"));
    // Columns in another order, a spreadsheet's quoting, the spare tank record 23.
    WriteLines("deadline.csv", {"Min,Hr,ExpectAmt,TankNum", "\"30\",3,40,7", "0,9,12,23"});
    WriteLines("sorttable.csv", {"head,tail,sorta", "0,1,0.1", "0,2,0.2", "0,-1,0.7", "5,6,1e-7"});
    const CommandResult result = Import();
    ASSERT_EQ(result.status, ExitOk) << result.err;

    const ScenarioTables t = Scenario();
    ASSERT_EQ(t.exogenous.size(), 17u);
    EXPECT_EQ(t.exogenous[1].Min, 25);
    EXPECT_EQ(t.exogenous[1].Water[7], 0.1 + 0.2);
    ASSERT_EQ(t.deadline.size(), 2u);
    EXPECT_EQ(t.deadline[0].TankNum, 7);
    EXPECT_EQ(t.deadline[0].Hr, 3);
    EXPECT_EQ(t.deadline[0].Min, 30);
    EXPECT_EQ(t.deadline[0].ExpectAmt, 40);
    EXPECT_EQ(t.deadline[1].TankNum, 23);
    ASSERT_EQ(t.sorttable.size(), 4u);
    EXPECT_EQ(t.sorttable[2].tail, -1);
    EXPECT_EQ(t.sorttable[3].sorta, 1e-7);

    // And out again as text that reads back to the same numbers.
    ASSERT_EQ(Run({"export-scenario", db_, folder_}).status, ExitOk);
    EXPECT_EQ(Lines("exogenous.csv")[2].substr(0, 25), "0,25,0.30000000000000004,");
    EXPECT_EQ(Lines("sorttable.csv")[4], "5,6,0.0000001");
}

TEST_F(ImportScenarioTest, ArrivalTimesMustAscendStrictly)
{
    SetLine("exogenous.csv", 4, ArrivalLine(0, 25));
    ExpectRejected({"exogenous.csv:4: time 0:25 is not after the time of line 3, 0:25"});
}

TEST_F(ImportScenarioTest, TheFirstArrivalRowIsTheStart)
{
    SetLine("exogenous.csv", 2, ArrivalLine(0, 30));
    ExpectRejected({"exogenous.csv:3: time 0:25 is not after the time of line 2, 0:30"});
}

TEST_F(ImportScenarioTest, ArrivalSecondsAreZeroToFiftyNine)
{
    SetLine("exogenous.csv", 3, ArrivalLine(0, 60));
    ExpectRejected({"exogenous.csv:3: column \"Min\": 60 is outside 0..59"});
}

TEST_F(ImportScenarioTest, ClockFieldsAreWholeNumbers)
{
    SetLine("exogenous.csv", 3, "0.5" + ArrivalLine(0, 25).substr(1));
    ExpectRejected({"exogenous.csv:3: column \"Hr\": 0.5 is not a whole number"});
}

TEST_F(ImportScenarioTest, EveryTankColumnMustBePresent)
{
    auto lines = Lines("exogenous.csv");
    for (std::string& line : lines) line.erase(line.rfind(','));  // drops column "22"
    WriteLines("exogenous.csv", lines);
    ExpectRejected({"exogenous.csv:1: column \"22\" is missing"});
}

TEST_F(ImportScenarioTest, EveryTankCellMustBeANumber)
{
    std::string bad = ArrivalLine(1, 0);
    bad.replace(bad.find(",1,1,1"), 2, ",lots");  // tank 0
    SetLine("exogenous.csv", 4, bad);
    SetLine("exogenous.csv", 5, ArrivalLine(1, 30).substr(0, ArrivalLine(1, 30).size() - 1));  // tank 22 empty
    ExpectRejected({"exogenous.csv:4: column \"0\": \"lots\" is not a number",
                    "exogenous.csv:5: column \"22\": empty cell"});
}

TEST_F(ImportScenarioTest, DeadlineTankIsZeroToTwentyThree)
{
    SetLine("deadline.csv", 2, "24,2,0,33");
    SetLine("deadline.csv", 3, "-1,2,0,31");
    ExpectRejected({"deadline.csv:2: column \"TankNum\": 24 is outside 0..23",
                    "deadline.csv:3: column \"TankNum\": -1 is outside 0..23"});
}

TEST_F(ImportScenarioTest, DeadlineSecondsAreZeroToFiftyNine)
{
    SetLine("deadline.csv", 3, "12,2,60,31");
    ExpectRejected({"deadline.csv:3: column \"Min\": 60 is outside 0..59"});
}

TEST_F(ImportScenarioTest, OutletHeadIsZeroToTwentyThreeAndTailMinusOneToTwentyThree)
{
    SetLine("sorttable.csv", 2, "24,1,0.45");
    SetLine("sorttable.csv", 3, "0,-2,0.45");
    SetLine("sorttable.csv", 4, "1,24,0.45");
    ExpectRejected({"sorttable.csv:2: column \"head\": 24 is outside 0..23",
                    "sorttable.csv:3: column \"tail\": -2 is outside -1..23",
                    "sorttable.csv:4: column \"tail\": 24 is outside -1..23"});
}

TEST_F(ImportScenarioTest, AtMostTenOutletRowsPerTank)
{
    std::vector<std::string> lines = {"head,tail,sorta"};
    for (int i = 0; i < 11; ++i) lines.push_back("5," + std::to_string(i + 6) + ",0.05");
    WriteLines("sorttable.csv", lines);
    ExpectRejected({"sorttable.csv:12: column \"head\": tank 5 has more than 10 outlet rows"});
}

TEST_F(ImportScenarioTest, TenOutletRowsMustShareOutEverything)
{
    // The program sends what a tank's shares leave short of 1 out through one
    // more outlet, and a tank has room for ten.
    std::vector<std::string> lines = {"head,tail,sorta"};
    for (int i = 0; i < 10; ++i) lines.push_back("5," + std::to_string(i + 6) + ",0.0625");
    WriteLines("sorttable.csv", lines);
    ExpectRejected({"sorttable.csv:11: column \"sorta\": the 10 shares of tank 5 add up to 0.625, not 1"});
}

TEST_F(ImportScenarioTest, SharesOfATankAddUpToNoMoreThanOne)
{
    AddLine("sorttable.csv", "0,3,0.2");  // tank 0 already sends 0.45 + 0.45
    ExpectRejected({"sorttable.csv:37: column \"sorta\": the shares of tank 0 add up to 1.1"});
}

TEST_F(ImportScenarioTest, ASharesSumOffByRoundingOnlyIsAccepted)
{
    WriteLines("sorttable.csv", {"head,tail,sorta", "0,1,0.33", "0,2,0.56", "0,3,0.11"});
    ASSERT_GT(0.33 + 0.56 + 0.11, 1.0);
    const CommandResult result = Import();
    EXPECT_EQ(result.status, ExitOk) << result.err;
}

TEST_F(ImportScenarioTest, ASingleShareIsBetweenZeroAndOne)
{
    SetLine("sorttable.csv", 2, "0,1,-0.45");
    ExpectRejected({"sorttable.csv:2: column \"sorta\": -0.45 is outside 0..1"});
}

TEST_F(ImportScenarioTest, HeadersNameEachColumnOnce)
{
    WriteLines("deadline.csv", {"TankNum,Hr,Min,ExpectAmt,Note,Hr", "11,2,0,33,x,2"});
    ExpectRejected({"deadline.csv:1: unknown column \"Note\"", "deadline.csv:1: column \"Hr\" appears twice"});
}

TEST_F(ImportScenarioTest, RowsHaveAsManyFieldsAsTheHeader)
{
    SetLine("deadline.csv", 4, "7,3,0");
    ExpectRejected({"deadline.csv:4: 3 fields where the header has 4"});
}

TEST_F(ImportScenarioTest, BrokenQuotingAndMissingOrEmptyFilesAreNamed)
{
    SetLine("sorttable.csv", 3, "0,2,\"0.45");
    ASSERT_TRUE(QFile::remove(QString::fromStdString(File("deadline.csv"))));
    WriteFile(File("exogenous.csv"), "Hr,Min,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22\r\n");
    ExpectRejected({"exogenous.csv: has no rows below its header", "deadline.csv: cannot be read",
                    "sorttable.csv:3: a quoted field is never closed"});
}

TEST_F(ImportScenarioTest, EveryProblemInEveryFileIsListed)
{
    SetLine("exogenous.csv", 3, ArrivalLine(0, 61));
    SetLine("deadline.csv", 2, "11,2,99,33");
    SetLine("sorttable.csv", 2, "x,1,0.45");
    ExpectRejected({"exogenous.csv:3:", "deadline.csv:2:", "sorttable.csv:2: column \"head\": \"x\" is not a number",
                    "3 problems found"});
}

TEST_F(ImportScenarioTest, AFailureWhileWritingLeavesTheOldScenario)
{
    // Valid files, but the last table cannot take them: the first two tables
    // must not stay emptied or half replaced.
    WriteLines("deadline.csv", {"TankNum,Hr,Min,ExpectAmt", "7,3,0,42"});
    const std::string exogenous = Dump("exogenous"), deadline = Dump("deadline");
    Sql("DROP TABLE \"sorttable\"");
    const CommandResult result = Import();
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.err.find("sorttable"), std::string::npos) << result.err;
    EXPECT_EQ(Dump("exogenous"), exogenous);
    EXPECT_EQ(Dump("deadline"), deadline);
}

TEST_F(ImportScenarioTest, AMissingDatabaseIsNotCreated)
{
    const std::string missing = Path("nowhere.mdb");
    const CommandResult result = Run({"import-scenario", missing, folder_});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.err.find(missing + ": the database file does not exist"), std::string::npos) << result.err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));
}

TEST_F(ImportScenarioTest, ExportWritesEvenCellsTheProgramWouldRefuse)
{
    Sql("UPDATE \"deadline\" SET \"Min\" = NULL WHERE rowid = 1");
    Sql("UPDATE \"deadline\" SET \"ExpectAmt\" = 'many' WHERE rowid = 2");
    before_ = DumpScenario();
    ASSERT_EQ(Run({"export-scenario", db_, folder_}).status, ExitOk);
    EXPECT_EQ(Lines("deadline.csv")[1], "11,2,,33");
    EXPECT_EQ(Lines("deadline.csv")[2], "12,2,0,many");
    ExpectRejected({"deadline.csv:2: column \"Min\": empty cell",
                    "deadline.csv:3: column \"ExpectAmt\": \"many\" is not a number"});
}

}  // namespace
}  // namespace kestu::ctl::testing
