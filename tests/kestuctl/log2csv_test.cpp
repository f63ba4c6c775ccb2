// log2csv and the reading of state lines it rests on.
#include "ctl_fixture.h"

#include "kestuctl/logged_trial.h"
#include "trials/trial_log.h"

namespace kestu::ctl::testing {
namespace {

using Log2CsvTest = CtlTest;

// A two-record log written by the trial log's own writer functions.
std::string SmallLog()
{
    PlantState plant;
    for (int t = 0; t < TankCount; ++t) plant.Tanks[t].Water = t + 0.46;  // written as t.5
    plant.PumpState[17] = 1;
    std::string text;
    AppendHeaderLine(text, {5, 23}, "ON", 17);
    AppendStateLine(text, plant);
    plant.Tanks[0].Water = 0.04;  // written as 0
    plant.Tanks[22].Water = 0.46;  // written as .5
    plant.PumpState[17] = -3;
    AppendHeaderLine(text, {61, 0}, "STOP", 0);
    AppendStateLine(text, plant);
    return text;
}

TEST_F(Log2CsvTest, OneRowPerRecordAndTankWithTheLoggedWater)
{
    WriteFile(Path("u.1"), SmallLog());
    const CommandResult result = Run({"log2csv", Path("u.1")});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    const std::vector<std::string> lines = Rows(result.out);
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
    EXPECT_EQ(trial.records.back().Kind, LogKind::Stop);

    const std::string csv = Path("p1.csv");
    const CommandResult result = Run({"log2csv", Path("p1.1"), "--out", csv});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(Rows(ReadFile(csv)).size(), 1 + TankCount * trial.records.size());
    // The first record is stamped at the start with the start's water.
    const ScenarioTables tables = Scenario();
    EXPECT_EQ(trial.records.front().At, tables.exogenous.front().At);
    for (int t = 0; t < TankCount; ++t) EXPECT_EQ(trial.records.front().Water[t], tables.exogenous.front().Water[t]);
}

TEST_F(Log2CsvTest, ABadLineIsNamedByFileLineAndField)
{
    const std::string good = SmallLog();
    std::string kind = good, water = good;
    kind.replace(kind.find(",\"STOP\","), 8, ",\"HALT\",");
    water.replace(water.find(",2,0,1.5,", water.find("\r\n") + 2), 9, ",2,0,x.5,");  // the first state line's tank 1
    const std::vector<std::pair<std::string, std::string>> logs = {
        {kind, ", line 3: field 3 (kind): \"HALT\" is none of"},
        {water, ", line 2: field 9 (water of switch 2): \"x.5\" is not a number"},
        {good.substr(0, good.rfind(",45,")) + "\r\n", ", line 4: not a state line: 135 fields"},
        {good.substr(0, good.find("\r\n") + 2), ", line 1: the record has no state line"},
        // A record cut off by a full disk, and records that go back in time.
        {good.substr(0, good.size() - 2), ", line 4: the log ends inside a record"},
        {good + good, ", line 5: the record at 05:23 is earlier than the one before it (61:00)"},
    };
    for (const auto& [log, problem] : logs) {
        WriteFile(Path("bad.1"), log);
        ExpectFails({"log2csv", Path("bad.1")}, Path("bad.1") + problem);
    }
    ExpectFails({"log2csv", Path("none.1")}, Path("none.1") + ": the trial log cannot be opened");
}

}  // namespace
}  // namespace kestu::ctl::testing
