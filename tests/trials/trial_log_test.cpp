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
    ASSERT_TRUE(log.Open((dir / "ab12.5").string()));
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
    ASSERT_TRUE(log.Open(path));
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
