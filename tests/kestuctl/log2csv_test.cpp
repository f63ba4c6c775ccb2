// log2csv and the reading of state lines it rests on.
#include "ctl_fixture.h"

#include "kestuctl/logged_trial.h"
#include "trials/trial_log.h"

namespace kestu::ctl::testing {
namespace {

class Log2CsvTest : public CtlTest {
protected:
    // A two-record log written by the trial log's own writer functions.
    std::string SmallLog()
    {
        PlantState plant;
        for (int t = 0; t < TankCount; ++t) plant.Tanks[t].Water = t + 0.46;  // written as t.5
        plant.PumpState[17] = 1;
        std::string text;
        AppendHeaderLine(text, 5, 23, "ON", 17);
        AppendStateLine(text, plant);
        plant.Tanks[0].Water = 0.04;  // written as 0
        plant.Tanks[22].Water = 0.46;  // written as .5
        plant.PumpState[17] = -3;
        AppendHeaderLine(text, 61, 0, "STOP", 0);
        AppendStateLine(text, plant);
        return text;
    }
};

TEST_F(Log2CsvTest, OneRowPerRecordAndTankWithTheLoggedWater)
{
    WriteFile(Path("u.1"), SmallLog());
    const CommandResult result = Run({"log2csv", Path("u.1")});
    ASSERT_EQ(result.status, ExitOk) << result.err;

    std::vector<std::string> lines;
    for (std::size_t start = 0; start < result.out.size();) {
        const auto end = result.out.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(result.out.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 1u + 2 * TankCount);
    EXPECT_EQ(lines[0], "minute,second,kind,switch,tank,water");
    EXPECT_EQ(lines[1], "5,23,ON,17,0,0.5");
    EXPECT_EQ(lines[4], "5,23,ON,17,3,3.5");
    EXPECT_EQ(lines[23], "5,23,ON,17,22,22.5");
    EXPECT_EQ(lines[24], "61,0,STOP,0,0,0");
    EXPECT_EQ(lines[46], "61,0,STOP,0,22,0.5");
}

TEST_F(Log2CsvTest, ATrialsWholeLogBecomesTwentyThreeRowsPerRecord)
{
    RecordTrial("p1", 1, 9);
    const LoggedTrial trial = ReadLoggedTrial(Path("p1.1"));
    ASSERT_TRUE(trial.error.empty()) << trial.error;
    ASSERT_GT(trial.records.size(), 2u);
    EXPECT_EQ(trial.records.back().kind, "STOP");

    const std::string csv = Path("p1.csv");
    const CommandResult result = Run({"log2csv", Path("p1.1"), "--out", csv});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    const std::string text = ReadFile(csv);
    std::size_t rows = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++rows;
    EXPECT_EQ(rows, 1 + TankCount * trial.records.size());
    // The first record is stamped at the start with the start's water.
    const ScenarioTables tables = Scenario();
    EXPECT_EQ(trial.records.front().minute, tables.exogenous.front().Hr);
    for (int t = 0; t < TankCount; ++t) EXPECT_EQ(trial.records.front().water[t], tables.exogenous.front().Water[t]);
}

TEST_F(Log2CsvTest, ABadLineIsNamedByFileLineAndField)
{
    std::string log = SmallLog();
    const std::string good = log;

    log.replace(log.find(",\"STOP\","), 8, ",\"HALT\",");
    WriteFile(Path("kind.1"), log);
    CommandResult result = Run({"log2csv", Path("kind.1")});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.err.find(Path("kind.1") + ":3: field 3 (kind): \"HALT\" is none of"), std::string::npos) << result.err;

    log = good;
    const auto state = log.find("\r\n") + 2;           // the first state line
    const auto water = log.find(",2,0,1.5,", state);    // switch 2: tank 1's water
    log.replace(water, 9, ",2,0,x.5,");
    WriteFile(Path("water.1"), log);
    result = Run({"log2csv", Path("water.1")});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.err.find(Path("water.1") + ":2: field 9 (water of switch 2): \"x.5\" is not a number"),
              std::string::npos) << result.err;

    WriteFile(Path("short.1"), good.substr(0, good.rfind(",45,")) + "\r\n");
    result = Run({"log2csv", Path("short.1")});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.err.find(Path("short.1") + ":4: not a state line: 135 fields"), std::string::npos) << result.err;

    WriteFile(Path("cut.1"), good.substr(0, good.find("\r\n") + 2));
    result = Run({"log2csv", Path("cut.1")});
    EXPECT_NE(result.err.find(Path("cut.1") + ":2: the record has no state line"), std::string::npos) << result.err;

    result = Run({"log2csv", Path("none.1")});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.err.find(Path("none.1") + ": the trial log cannot be opened"), std::string::npos);
}

}  // namespace
}  // namespace kestu::ctl::testing
