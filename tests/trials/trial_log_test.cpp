#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "engine/plant_state.h"
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

class TrialLogTest : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("kestu-log-" + std::to_string(::getpid()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

// Whatever the writer logs, the reader gives back: each switch status and
// each mark as its own kind, the clock of its record, and the plant's state
// as it was then, water to one decimal.
TEST_F(TrialLogTest, WhatTheWriterLogsTheReaderGivesBack)
{
    PlantState plant;
    const std::pair<int, double> water[] = {{0, 12.46}, {1, -0.5}, {2, 0.04}, {3, 7.05}, {21, 1e12}, {22, -1e12}};
    const std::pair<int, double> shown[] = {{0, 12.5}, {1, -0.5}, {2, 0}, {3, 7.1}, {21, 1e12}, {22, -1e12}};
    for (const auto& [tank, amount] : water) plant.Tanks[tank].Water = amount;
    const std::pair<int, int> pumps[] = {{0, 1}, {1, -5}, {17, 1}, {44, -1}, {45, -1000000}};
    for (const auto& [sw, state] : pumps) plant.PumpState[sw] = state;
    const std::pair<SwitchStatus, LogKind> statuses[] = {
        {SwitchStatus::Off, LogKind::Off}, {SwitchStatus::Clean, LogKind::Clean},
        {SwitchStatus::On, LogKind::On},   {SwitchStatus::Queued, LogKind::Queued}};
    const LogKind marks[] = {LogKind::Stop, LogKind::Save, LogKind::Restore};

    TrialLogWriter log;
    const auto path = (dir / "U.1").string();
    ASSERT_TRUE(log.Create(path).ok());
    plant.Clock = {61, 9};
    for (const auto& [status, kind] : statuses) log.WriteSwitchRecord(plant, status, 7 * int(kind) + 2);
    plant.Tanks[3].Water = 3;
    plant.Clock = {61, 10};
    for (LogKind mark : marks) log.AppendLogMark(plant, mark);
    log.Close();

    TrialLogReader reader;
    ASSERT_TRUE(reader.Open(path)) << reader.Error();
    ASSERT_EQ(reader.RecordCount(), std::size(statuses) + std::size(marks));
    for (const auto& [status, kind] : statuses) {
        const auto r = reader.ReadRecordWithState();
        ASSERT_TRUE(r.has_value()) << reader.Error();
        EXPECT_EQ(r->Kind, kind) << LogWord(status);
        EXPECT_EQ(r->Switch, 7 * int(kind) + 2);
        EXPECT_EQ(r->At, (ClockTime{61, 9}));
        for (const auto& [tank, amount] : shown) EXPECT_DOUBLE_EQ(r->Water[tank], amount) << "tank " << tank;
        for (const auto& [sw, state] : pumps) EXPECT_EQ(r->PumpState[sw], state) << "switch " << sw;
        EXPECT_EQ(r->Water[10], 0);
        EXPECT_EQ(r->PumpState[10], 0);
    }
    for (LogKind mark : marks) {
        const LogRecord r = reader.ReadLogRecord();
        EXPECT_EQ(r.Kind, mark) << LogWord(mark);
        EXPECT_EQ(r.Switch, 0);
        EXPECT_EQ(r.At, (ClockTime{61, 10}));
    }
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.ReadLogRecord().At, (ClockTime{-1, -1}));  // a STOP due at no time
    EXPECT_FALSE(reader.ReadRecordWithState().has_value());
    EXPECT_EQ(reader.Error(), "");
}

// Records are checked when the log is opened and read later; a log changed
// in between ends the reading at the changed record and says so.
TEST_F(TrialLogTest, ALogChangedAfterItWasOpenedEndsTheReadingWithAMessage)
{
    std::string state = "0,0,0";
    for (int i = 1; i < 46; ++i) state += "," + std::to_string(i) + ",0,0";
    const std::string sound = "0,5,\"ON\",3\r\n" + state + "\r\n0,6,\"OFF\",3\r\n" + state + "\r\n";
    // The replay reads headers only, log2csv whole records: a changed state
    // line stops only the latter.
    struct Case {
        std::string changed;
        std::size_t headersRead;
        std::size_t recordsRead;
        std::string expected;  // from the line on
    };
    const Case cases[] = {
        {"0,5,\"ON\",3\r\n" + state + "\r\n0,6,\"HALT\",3\r\n" + state + "\r\n", 1, 1,
         "line 3: the file changed while it was being read"},
        {"0,5,\"ON\",3\r\n" + state + "\r\n0,6,\"OFF\",3\r\n" + state.substr(0, 20) + "\r\n", 2, 1,
         "line 3: the file changed while it was being read"},
        {"0,5,\"ON\",3\r\n", 0, 0, "line 1: the file changed while it was being read"},
    };
    const auto path = (dir / "U.1").string();
    for (const Case& c : cases) {
        for (const bool withState : {false, true}) {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << sound;
            TrialLogReader reader;
            ASSERT_TRUE(reader.Open(path)) << reader.Error();
            ASSERT_EQ(reader.RecordCount(), 2u);
            std::ofstream(path, std::ios::binary | std::ios::trunc) << c.changed;
            std::size_t read = 0;
            if (withState) {
                while (reader.ReadRecordWithState()) ++read;
            } else {
                while (reader.ReadLogRecord().At.Minutes >= 0) ++read;
            }
            const std::size_t expectedRead = withState ? c.recordsRead : c.headersRead;
            EXPECT_EQ(read, expectedRead) << c.expected << (withState ? " (whole records)" : " (headers)");
            EXPECT_TRUE(reader.AtEnd());
            EXPECT_EQ(reader.Error(), expectedRead == 2 ? "" : path + ", " + c.expected);
        }
    }
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
    // A sound record whose state line has the given fields (from 0) replaced.
    auto stateWith = [&](const std::vector<std::pair<std::size_t, std::string>>& changes) {
        std::vector<std::string> fields = Split(state);
        for (const auto& [field, text] : changes) fields.at(field) = text;
        std::string line;
        for (const std::string& f : fields) line += (line.empty() ? "" : ",") + f;
        return "0,5,\"ON\",3\r\n" + line + "\r\n";
    };
    const Case cases[] = {
        {"", "the log is empty"},
        {"0,5,\"ON\",3\r\n", "line 1: the record has no state line"},
        {cut, "line 4: the log ends inside a record"},
        {record("0,5,\"ON\",3") + record("0,4,\"OFF\",3"),
         "line 3: the record at 00:04 is earlier than the one before it (00:05)"},
        // After a restore the clock may go back to the save, and no further.
        {record("0,5,\"FF\",0") + record("0,9,\"FFR\",0") + record("0,5,\"ON\",3"), ""},
        {record("0,5,\"FF\",0") + record("0,9,\"FFR\",0") + record("0,4,\"ON\",3"), "line 5: the record at 00:04"},
        {record("0,5,\"FF\",0") + record("0,9,\"FFR\",0") + record("0,6,\"ON\",3") + record("0,5,\"ON\",3"),
         "line 7:"},
        {"\r\n\r\n\r\n", "line 1: not a record header: 1 field where minute,second,\"KIND\",switch has 4"},
        {std::string(10000, '7') + "\r\n", "line 1: the line is too long"},
        // Each field of a header, named by its place and meaning, its text shown escaped.
        {"\xEF\xBB\xBF" + record("0,5,\"ON\",3"),
         "line 1: field 1 (minute): \"\\xEF\\xBB\\xBF0\" is not a whole number"},
        {record("0,5,\"ON\",3") + record("-1,5,\"ON\",3"),
         "line 3: field 1 (minute): \"-1\" is not a whole number 0..1000000"},
        {record("0,60,\"ON\",3"), "line 1: field 2 (second): \"60\" is not a whole number 0..59"},
        {record("0,5,ON,3"), "line 1: field 3 (kind): \"ON\" is not a kind in double quotes"},
        {record("0,5,\"HALT\",3"), "line 1: field 3 (kind): \"HALT\" is none of ON, CLEAN, OFF, QUEUED, STOP, FF, FFR"},
        {record("0,5,\"on\",3"), "line 1: field 3 (kind): \"on\" is none of"},
        {record("0,5,\"ON\",46"), "line 1: field 4 (switch): \"46\" is not a switch number 0..45"},
        {record("0,5,\"ON\",3,0"), "line 1: not a record header: 5 fields where"},
        {record("1,6,\"ON,OFF\",4"), "line 1: not a record header: 5 fields where"},
        {record("1000001,6,\"ON\",4"), "line 1: field 1 (minute): \"1000001\" is not a whole number 0..1000000"},
        {record(" 1,6,\"ON\",4"), "line 1: field 1 (minute): \" 1\" is not a whole number"},
        {record("1,6,\"ON\",+4"), "line 1: field 4 (switch): \"+4\" is not a switch number 0..45"},
        // Each field of a state line.
        {record("0,5,\"ON\",3").substr(0, 12) + state.substr(0, state.rfind(",45,")) + "\r\n",
         "line 2: not a state line: 135 fields where a state line has 138"},
        {stateWith({{3, "2"}}), "line 2: field 4 (switch number): \"2\" should be 1"},
        {stateWith({{4, "2"}}), "line 2: field 5 (pump state of switch 1): \"2\" is not a whole number -1000000..1"},
        {stateWith({{4, "-1000001"}}), "line 2: field 5 (pump state of switch 1): \"-1000001\""},
        {stateWith({{4, "-1000000"}}), ""},
        {stateWith({{8, "x.5"}}), "line 2: field 9 (water of switch 2): \"x.5\" is not a number"},
        {stateWith({{137, "inf"}}), "line 2: field 138 (water of switch 45): \"inf\" is not a number"},
        {stateWith({{8, "2E+12"}}),
         "line 2: field 9 (water of switch 2): \"2E+12\" is outside -1000000000000..1000000000000"},
        // The two switches of a tank log the same water, the tank's.
        {stateWith({{5, "1.5"}}),
         "line 2: field 6 (water of switch 1): \"1.5\" differs from \"0\", the water of switch 0 of the same tank"},
        {stateWith({{2, ".5"}, {5, ".5"}}), ""},
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
    EXPECT_FALSE(missing.Open((dir / "missing.9").string()));
    EXPECT_TRUE(missing.AtEnd());
    EXPECT_NE(missing.Error().find("missing.9"), std::string::npos);

    // Records after the trial's end time cannot have been written by it.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << record("0,5,\"ON\",3") + record("0,13,\"OFF\",3");
    TrialLogReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_TRUE(reader.CheckEndTime({0, 13}));
    EXPECT_FALSE(reader.CheckEndTime({0, 12}));
    EXPECT_NE(reader.Error().find("line 3: the record at 00:13 lies after the trial's end time 00:12"), std::string::npos)
        << reader.Error();
}

}  // namespace
}  // namespace kestu
