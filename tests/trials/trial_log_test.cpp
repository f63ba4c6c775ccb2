#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "engine/engine.h"
#include "trials/log_reader.h"
#include "trials/trial_log.h"

namespace kestu {
namespace {

std::vector<std::string> Split(const std::string& line, char sep = ',')
{
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, sep)) out.push_back(field);
    return out;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class TrialLogTest : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("kestu-log-" + std::to_string(::getpid()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(TrialLogTest, ClickRecordHasHeaderAndA138FieldStateLine)
{
    Engine engine;
    TrialLogWriter log;
    ASSERT_EQ(log.Create((dir / "ab12.5").string()), "");
    engine.SetRecordSink(&log);
    auto& plant = engine.plant;
    plant.SimMinutes = 5;
    plant.SimSeconds = 23;
    plant.Tanks[8].Water = 12.46;
    plant.Tanks[0].Water = 0.46;
    plant.Tanks[1].Water = -0.5;
    plant.Tanks[2].Water = 7.02;
    plant.Tanks[22].Water = 0.5;
    plant.TrialLogOn = true;
    engine.Switch_Click(17);
    engine.plant.TrialLogOn = false;
    engine.Switch_Click(16);  // not logged
    log.Close();

    const std::string text = ReadFile(dir / "ab12.5");
    const auto firstEnd = text.find("\r\n");
    ASSERT_NE(firstEnd, std::string::npos);
    EXPECT_EQ(text.substr(0, firstEnd), "5,23,\"ON\",17");
    const std::string state = text.substr(firstEnd + 2, text.size() - firstEnd - 4);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    const auto fields = Split(state);
    ASSERT_EQ(fields.size(), 138u);
    for (int i = 0; i < 46; ++i) EXPECT_EQ(fields[3 * i], std::to_string(i));
    EXPECT_EQ(fields[3 * 17 + 1], "1");
    EXPECT_EQ(fields[3 * 17 + 2], "12.5");
    EXPECT_EQ(fields[2], ".5");
    EXPECT_EQ(fields[5], ".5");
    EXPECT_EQ(fields[8], "-.5");
    EXPECT_EQ(fields[14], "7");
    EXPECT_EQ(fields[3 * 30 + 2], "0");
    EXPECT_EQ(state.substr(state.size() - 7), "45,0,.5");
}

TEST_F(TrialLogTest, MarksAreStampedAndReadBack)
{
    Engine engine;
    TrialLogWriter log;
    const auto path = (dir / "U.1").string();
    ASSERT_EQ(log.Create(path), "");
    engine.plant.SimMinutes = 3;
    engine.plant.SimSeconds = 15;
    log.AppendLogMark(engine.plant, "FF");
    engine.plant.SimSeconds = 16;
    log.AppendLogMark(engine.plant, "STOP");
    log.Close();

    TrialLogReader reader;
    ASSERT_TRUE(reader.Open(path));
    auto r1 = reader.ReadLogRecord();
    EXPECT_EQ(r1.Minutes, 3);
    EXPECT_EQ(r1.Seconds, 15);
    EXPECT_EQ(r1.Kind, "FF");
    EXPECT_EQ(r1.Switch, 0);
    EXPECT_FALSE(reader.AtEnd());
    auto r2 = reader.ReadLogRecord();
    EXPECT_EQ(r2.Kind, "STOP");
    EXPECT_TRUE(reader.AtEnd());
    auto r3 = reader.ReadLogRecord();
    EXPECT_EQ(r3.Minutes, -1);
    EXPECT_EQ(r3.Seconds, -1);
    EXPECT_TRUE(reader.Error().empty());
}

TEST_F(TrialLogTest, UnreadableLogsAreRefusedWithTheLineAtFault)
{
    const auto path = (dir / "bad.1").string();
    auto refusal = [&](const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
        TrialLogReader reader;
        EXPECT_FALSE(reader.Open(path));
        EXPECT_TRUE(reader.AtEnd());
        EXPECT_EQ(reader.ReadLogRecord().Minutes, -1);
        return reader.Error();
    };
    std::string state = "0,0,0";
    for (int i = 1; i < 46; ++i) state += "," + std::to_string(i) + ",0,0";
    EXPECT_NE(refusal("0,5,\"ON\",3\r\n" + state + "\r\n0,6,\"JUMP\",3\r\n" + state + "\r\n").find("line 3"),
              std::string::npos);
    EXPECT_NE(refusal("0,5,\"ON\",3\r\n").find("no state line"), std::string::npos);
    EXPECT_NE(refusal("0,5,\"ON\",3\r\n1,2,3\r\n").find("line 2"), std::string::npos);
    EXPECT_NE(refusal("").find("empty"), std::string::npos);

    TrialLogReader reader;
    EXPECT_FALSE(reader.Open((dir / "missing.9").string()));
    EXPECT_NE(reader.Error().find("missing.9"), std::string::npos);
}

// Logs whose records cannot be what a trial wrote: each is refused at its line.
TEST_F(TrialLogTest, TornOutOfOrderAndOutOfRangeLogsAreRefusedAtTheirLine)
{
    std::string state = "0,0,0";
    for (int i = 1; i < 46; ++i) state += "," + std::to_string(i) + ",0,0";
    auto record = [&](const std::string& header) { return header + "\r\n" + state + "\r\n"; };
    const std::string path = (dir / "U.1").string();
    auto error = [&](const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        TrialLogReader reader;
        return reader.Open(path) ? std::string{} : reader.Error();
    };
    struct Case {
        std::string text;
        std::string expected;  // empty: the log is sound
    };
    const std::string cut = record("0,5,\"ON\",3") + "0,6,\"OFF\",3\r\n" + state.substr(0, 40);
    std::string infWater = state;
    infWater.replace(infWater.size() - 1, 1, "inf");
    const Case cases[] = {
        {cut, "line 4: the log ends inside a record"},
        {record("0,5,\"ON\",3") + record("0,4,\"OFF\",3"), "line 3: the record at 00:04 is earlier than the one before it (00:05)"},
        // After a restore the clock may go back to the save, and no further.
        {record("0,5,\"FF\",0") + record("0,9,\"FFR\",0") + record("0,5,\"ON\",3"), ""},
        {record("0,5,\"FF\",0") + record("0,9,\"FFR\",0") + record("0,4,\"ON\",3"), "line 5: the record at 00:04"},
        {record("0,5,\"FF\",0") + record("0,9,\"FFR\",0") + record("0,6,\"ON\",3") + record("0,5,\"ON\",3"),
         "line 7:"},
        {record("0,5,\"ON\",3").substr(0, 12) + infWater + "\r\n", "line 2: not a state line: field 138"},
        {"\r\n\r\n\r\n", "line 1: not a record header"},
        {std::string(10000, '7') + "\r\n", "line 1: the line is too long"},
        {"\xEF\xBB\xBF" + record("0,5,\"ON\",3"), "line 1: not a record header: \"\\xEF\\xBB\\xBF0,5,"},
    };
    for (const Case& c : cases) {
        const std::string got = error(c.text);
        if (c.expected.empty())
            EXPECT_EQ(got, "") << c.text.substr(0, 40);
        else
            EXPECT_NE(got.find(c.expected), std::string::npos) << got;
    }

    // Records after the trial's end time cannot have been written by it.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << record("0,5,\"ON\",3") + record("0,13,\"OFF\",3");
    TrialLogReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_TRUE(reader.CheckEndTime({0, 13}));
    EXPECT_FALSE(reader.CheckEndTime({0, 12}));
    EXPECT_NE(reader.Error().find("line 3: the record at 00:13 lies after the trial's end time 00:12"), std::string::npos)
        << reader.Error();
}

TEST_F(TrialLogTest, AnExistingLogIsNeverOpenedAgain)
{
    const auto path = (dir / "kim.1").string();
    std::ofstream(path, std::ios::binary) << "earlier trial";
    TrialLogWriter log;
    EXPECT_NE(log.Create(path), "");
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(ReadFile(dir / "kim.1"), "earlier trial");
}

TEST_F(TrialLogTest, FileNameIsUserDotTrial)
{
    EXPECT_EQ(TrialLogFileName("ab12", 5), "ab12.5");
    LogRecord r;
    EXPECT_TRUE(ParseHeaderLine("123,9,\"QUEUED\",45", r));
    EXPECT_EQ(r.Minutes, 123);
    EXPECT_FALSE(ParseHeaderLine("1,60,\"ON\",3", r));
    EXPECT_FALSE(ParseHeaderLine("1,6,\"ON\",46", r));
    EXPECT_FALSE(ParseHeaderLine("1,6,ON,4", r));
}

}  // namespace
}  // namespace kestu
