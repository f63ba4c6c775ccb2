// The text of the trial log: its numbers, the records the writer gives the
// reader, and the logs the reader refuses.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <unistd.h>

#include "engine/plant_state.h"
#include "trials/log_reader.h"
#include "trials/number_text.h"
#include "trials/trial_log.h"

namespace kestu {
namespace {

std::string Water(double w)
{
    std::string s;
    AppendWaterTenths(s, w);
    return s;
}

// Number text of the log and the snapshot. Under a decimal-comma locale it is
// pinned by the reference trials run under de_DE and by the number_text fuzz target.
TEST(NumberText, WholeFractionalAndExponentForms)
{
    const std::pair<double, const char*> cases[] = {
        {0, "0"}, {-1, "-1"}, {0.5, ".5"}, {-0.5, "-.5"}, {0.1 + 0.2, ".3"},
        {1.0 / 3, ".333333333333333"}, {2.0 / 3, ".666666666666667"},
        {1 - (0.7 + 0.2 + 0.1), "1.11022302462516E-16"}, {0.00001, ".00001"}, {0.000001, "1E-06"},
        {-0.0000025, "-2.5E-06"}, {1e15, "1E+15"}, {999999999999999.0, "999999999999999"},
        {123456789.125, "123456789.125"}, {1e100, "1E+100"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatNumber(value), text);
}

// Tenths, halves away from zero, decided on the 15-digit form: 0.35 is stored
// just below a half.
TEST(NumberText, WaterRoundsToTenthsHalvesAwayFromZero)
{
    const std::pair<double, const char*> cases[] = {
        {0.46, ".5"}, {-0.5, "-.5"}, {7.02, "7"}, {0.04, "0"}, {-0.04, "0"}, {0.05, ".1"}, {-0.05, "-.1"},
        {9.96, "10"}, {0.35, ".4"}, {2.675, "2.7"}, {0.7999999999999972, ".8"}, {128.30000000000035, "128.3"},
        {0.049999, "0"}, {123456.75, "123456.8"}, {1e20, "1E+20"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(Water(value), text) << value;
}

// What the writer writes reads back, up to the largest amount a file may
// hold; larger amounts are kept out where they enter, and whole buckets of
// any double are defined.
TEST(NumberText, ParsesWhatItWritesAndNothingElse)
{
    for (double v : {0.0, -0.5, 1.0 / 3, 1e-16, -123.456, MaxWater, -MaxWater, 999999999999.95, 1e-300}) {
        const auto parsed = ParseNumber(FormatNumber(v));
        ASSERT_TRUE(parsed.has_value()) << v;
        EXPECT_NEAR(*parsed, v, std::abs(v) * 1e-14) << v;
    }
    EXPECT_EQ(ParseNumber("1.5E+20"), 1.5e20);
    for (const char* text : {"", "1.5x", "nan", "inf", "1e400", " 1"}) EXPECT_FALSE(ParseNumber(text).has_value()) << text;
    EXPECT_EQ(ParseInteger("-12"), -12);
    EXPECT_FALSE(ParseInteger("12.0").has_value());

    EXPECT_TRUE(WaterFits(MaxWater));
    for (double v : {DBL_MAX, 1e19, MaxWater * 1.0000001, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(WaterFits(v)) << v;
    EXPECT_EQ(WholeBuckets(1e19), 9000000000000000000LL);
    EXPECT_EQ(WholeBuckets(-2.5), -3);
}

// A folder of the test's own for U.1.
class TrialLogTest : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("kestu-log-" + std::to_string(::getpid()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string path = (dir / "U.1").string();
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // The state line of an empty plant, the given fields (from 0) replaced, and a record of it.
    static std::string State(const std::map<int, std::string>& changes = {})
    {
        std::string line;
        for (int f = 0; f < 138; ++f) {
            const auto change = changes.find(f);
            line += (f ? "," : "") + (change != changes.end() ? change->second : f % 3 ? "0" : std::to_string(f / 3));
        }
        return line;
    }
    static std::string Record(const std::string& header, const std::map<int, std::string>& changes = {})
    {
        return header + "\r\n" + State(changes) + "\r\n";
    }
};

// Whatever the writer logs, the reader gives back: each switch status (OFF
// too, which no click writes) as its own kind, the clock of its record, and
// the plant's state as it was then, water to one decimal, up to the largest
// amounts a file takes. The marks are the reference trials' business, and how
// the reader ends the log_reader fuzz target's.
TEST_F(TrialLogTest, WhatTheWriterLogsTheReaderGivesBack)
{
    PlantState plant;
    const std::tuple<int, double, double> water[] = {{0, 12.46, 12.5}, {1, -0.5, -0.5}, {3, 7.05, 7.1},
                                                     {21, 1e12, 1e12}, {22, -1e12, -1e12}};
    for (const auto& [tank, amount, shown] : water) plant.Tanks[tank].Water = amount;
    const std::pair<int, int> pumps[] = {{0, 1}, {1, -5}, {45, -1000000}};
    for (const auto& [sw, state] : pumps) plant.PumpState[sw] = state;
    const std::pair<SwitchStatus, LogKind> statuses[] = {
        {SwitchStatus::Off, LogKind::Off}, {SwitchStatus::Clean, LogKind::Clean},
        {SwitchStatus::On, LogKind::On},   {SwitchStatus::Queued, LogKind::Queued}};

    TrialLogWriter log;
    ASSERT_TRUE(log.Create(path).ok());
    plant.Clock = {61, 9};
    for (const auto& [status, kind] : statuses) log.WriteSwitchRecord(plant, status, 7 * int(kind) + 2);
    log.Close();

    TrialLogReader reader;
    const Status opened = reader.Open(path);
    ASSERT_TRUE(opened) << opened.error();
    for (const auto& [status, kind] : statuses) {
        const auto r = reader.ReadRecordWithState();
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(std::tuple(r->Kind, r->Switch, r->At), std::tuple(kind, 7 * int(kind) + 2, ClockTime{61, 9}));
        for (const auto& [tank, amount, shown] : water) EXPECT_DOUBLE_EQ(r->Water[tank], shown) << "tank " << tank;
        for (const auto& [sw, state] : pumps) EXPECT_EQ(r->PumpState[sw], state) << "switch " << sw;
    }
}

// The log is read once, when it is opened: a log changed or removed after
// that is read as it was.
TEST_F(TrialLogTest, ALogChangedAfterItWasOpenedIsReadAsItWasWhenOpened)
{
    for (const bool withState : {false, true}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << Record("0,5,\"ON\",3") + Record("0,6,\"OFF\",3");
        TrialLogReader reader;
        ASSERT_TRUE(reader.Open(path));
        std::ofstream(path, std::ios::binary | std::ios::trunc) << Record("0,5,\"ON\",3") + Record("0,6,\"HALT\",3");
        std::vector<LogKind> kinds;
        while (!reader.AtEnd()) kinds.push_back(withState ? reader.ReadRecordWithState()->Kind : reader.ReadLogRecord().Kind);
        EXPECT_EQ(kinds, (std::vector<LogKind>{LogKind::On, LogKind::Off}));
        EXPECT_FALSE(reader.ReadRecordWithState().has_value());
        EXPECT_EQ(reader.ReadLogRecord().At, (ClockTime{-1, -1}));
    }
}

// Logs whose records cannot be what a trial wrote: each is refused at its line
// (the command-line tests read a few more through log2csv and plot).
TEST_F(TrialLogTest, TornOutOfOrderAndOutOfRangeLogsAreRefusedAtTheirLine)
{
    auto error = [&](const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        TrialLogReader reader;
        return reader.Open(path).error();
    };
    struct Case {
        std::string text;
        std::string expected;  // empty: the log is sound
    };
    const std::string cut = Record("0,5,\"ON\",3") + "0,6,\"OFF\",3\r\n" + State().substr(0, 40);
    const Case cases[] = {
        {"", "the log is empty"},
        {"0,5,\"ON\",3\r\n", "line 1: the record has no state line"},
        {cut, "line 4: the log ends inside a record"},
        {Record("0,5,\"ON\",3") + Record("0,4,\"OFF\",3"),
         "line 3: the record at 00:04 is earlier than the one before it (00:05)"},
        // After a restore the clock may go back to the save, and no further.
        {Record("0,5,\"FF\",0") + Record("0,9,\"FFR\",0") + Record("0,5,\"ON\",3"), ""},
        {Record("0,5,\"FF\",0") + Record("0,9,\"FFR\",0") + Record("0,4,\"ON\",3"), "line 5: the record at 00:04"},
        {Record("0,5,\"FF\",0") + Record("0,9,\"FFR\",0") + Record("0,6,\"ON\",3") + Record("0,5,\"ON\",3"),
         "line 7:"},
        {std::string(10000, '7') + "\r\n", "line 1: the line is too long"},
        // Each field of a header, named by its place and meaning, its text shown escaped.
        {"\xEF\xBB\xBF" + Record("0,5,\"ON\",3"),
         "line 1: field 1 (minute): \"\\xEF\\xBB\\xBF0\" is not a whole number"},
        {Record("0,5,\"ON\",3") + Record("-1,5,\"ON\",3"),
         "line 3: field 1 (minute): \"-1\" is not a whole number 0..1000000"},
        {Record("0,60,\"ON\",3"), "line 1: field 2 (second): \"60\" is not a whole number 0..59"},
        {Record("0,5,ON,3"), "line 1: field 3 (kind): \"ON\" is not a kind in double quotes"},
        {Record("0,5,\"on\",3"), "line 1: field 3 (kind): \"on\" is none of ON, CLEAN, OFF, QUEUED, STOP, FF, FFR"},
        {Record("0,5,\"ON\",46"), "line 1: field 4 (switch): \"46\" is not a switch number 0..45"},
        {Record("1,6,\"ON,OFF\",4"), "line 1: not a record header: 5 fields where"},
        {Record("1000001,6,\"ON\",4"), "line 1: field 1 (minute): \"1000001\" is not a whole number 0..1000000"},
        {Record(" 1,6,\"ON\",4"), "line 1: field 1 (minute): \" 1\" is not a whole number"},
        {Record("1,6,\"ON\",+4"), "line 1: field 4 (switch): \"+4\" is not a switch number 0..45"},
        // Each field of a state line.
        {Record("0,5,\"ON\",3").substr(0, 12) + State().substr(0, State().rfind(",45,")) + "\r\n",
         "line 2: not a state line: 135 fields where a state line has 138"},
        {Record("0,5,\"ON\",3", {{3, "2"}}), "line 2: field 4 (switch number): \"2\" should be 1"},
        {Record("0,5,\"ON\",3", {{4, "2"}}), "line 2: field 5 (pump state of switch 1): \"2\" is not a whole number -1000000..1"},
        {Record("0,5,\"ON\",3", {{4, "-1000001"}}), "line 2: field 5 (pump state of switch 1): \"-1000001\""},
        {Record("0,5,\"ON\",3", {{4, "-1000000"}}), ""},
        {Record("0,5,\"ON\",3", {{137, "inf"}}), "line 2: field 138 (water of switch 45): \"inf\" is not a number"},
        {Record("0,5,\"ON\",3", {{8, "2E+12"}}),
         "line 2: field 9 (water of switch 2): \"2E+12\" is outside -1000000000000..1000000000000"},
        // The two switches of a tank log the same water, the tank's.
        {Record("0,5,\"ON\",3", {{5, "1.5"}}),
         "line 2: field 6 (water of switch 1): \"1.5\" differs from \"0\", the water of switch 0 of the same tank"},
        {Record("0,5,\"ON\",3", {{2, ".5"}, {5, ".5"}}), ""},
    };
    for (const Case& c : cases) {
        const std::string got = error(c.text);
        if (c.expected.empty()) {
            EXPECT_EQ(got, "") << c.text.substr(0, 40);
        } else {
            EXPECT_EQ(got.rfind(path, 0), 0u) << got;  // the file first
            EXPECT_NE(got.find(c.expected), std::string::npos) << got;
        }
    }
    TrialLogReader missing;
    const Status notThere = missing.Open((dir / "missing.9").string());
    EXPECT_FALSE(notThere);
    EXPECT_TRUE(missing.AtEnd());
    EXPECT_NE(notThere.error().find("missing.9"), std::string::npos);

    // Records after the trial's end time cannot have been written by it.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << Record("0,5,\"ON\",3") + Record("0,13,\"OFF\",3");
    TrialLogReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_TRUE(reader.CheckEndTime({0, 13}));
    const Status late = reader.CheckEndTime({0, 12});
    EXPECT_FALSE(late);
    EXPECT_NE(late.error().find("line 3: the record at 00:13 lies after the trial's end time 00:12"), std::string::npos)
        << late.error();
}

}  // namespace
}  // namespace kestu
