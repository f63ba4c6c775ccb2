// init and export: a new database, and the participant and result tables as
// CSV; and the CSV text and plain numbers every export writes and every import reads.
#include "ctl_fixture.h"

#include <limits>

#include "kestuctl/csv.h"
#include "kestuctl/plain_number.h"

namespace kestu::ctl::testing {
namespace {

using InitExportTest = CtlTest;

TEST_F(InitExportTest, InitCreatesTheStandardScenarioInKestuMdbOrTheNamedFileAndNeverWritesOverOne)
{
    const QString elsewhere = dir_.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere) && QDir::setCurrent(elsewhere));
    const CommandResult byDefault = Run({"init"});
    const CommandResult named = Run({"init", "--", "-new.mdb"});  // after "--" a leading dash is part of a file name
    QDir::setCurrent(QDir::tempPath());
    ASSERT_EQ(byDefault.status, ExitOk) << byDefault.err;
    const ScenarioTables scenario = Scenario((elsewhere + "/KESTU.MDB").toStdString());
    EXPECT_EQ(scenario.exogenous.size(), 17u);
    EXPECT_EQ(scenario.deadline.size(), 12u);
    EXPECT_EQ(named.status, ExitOk) << named.err;
    EXPECT_TRUE(QFile::exists(elsewhere + "/-new.mdb"));

    RecordTrial("p1", 1, 3);
    const std::string before = Dump("Experiments");
    ExpectFails({"init", db_}, db_ + ": already exists");
    EXPECT_EQ(Dump("Experiments"), before);
}

TEST_F(InitExportTest, ParticipantsComeOutAsRfc4180)
{
    Sql("INSERT INTO \"UserData\" VALUES ('ab12', 'Zoë', 'O''Neil, Jr.', '2', 'Physics', '21', 'F', '0'), "
        "('cd34', 'Ann \"Nan\"', 'Two\nLines', '', '', NULL, '', '0')");
    EXPECT_EQ(Ok({"export", db_, "--table=participants"}),  // a value after "=" too
              "UserID,FirstName,LastName,SchoolYear,Major,Age,Sex,TrialNum\r\n"
              "ab12,Zoë,\"O'Neil, Jr.\",2,Physics,21,F,0\r\n"
              "cd34,\"Ann \"\"Nan\"\"\",\"Two\nLines\",,,,,0\r\n");
}

TEST_F(InitExportTest, ExperimentsAreTheDefaultWithIsoDatesAndEmptyCellsForMissingResults)
{
    const TrialOutcome done = RecordTrial("p1", 1, 21);
    RecordTrial("p1", 2, 22, /*completeRow=*/false);  // the window closed before the end

    const std::string out = Ok({"export", db_});
    const std::vector<std::string> lines = Rows(out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "UserID,Experiment,Date,StartTime,EndTime,Scenario,SimRate,MissedBuckets,BusyTime,SweepTime,IdleTime");
    const std::string firstRow = "p1,1,2024-05-06,10:00:00,10:08:01,Standard,8," + std::to_string(done.missed.Total) + ",";
    EXPECT_EQ(lines[1].substr(0, firstRow.size()), firstRow);
    EXPECT_EQ(lines[2], "p1,2,2024-05-06,10:00:00,,Standard,8,,,,");
    // The shares read back to the stored doubles.
    ASSERT_TRUE(done.shares);
    EXPECT_EQ(std::stod(lines[1].substr(firstRow.size())), done.shares->BusyTime);

    // --out writes the same text to a file; failures name the file.
    const std::string file = Path("experiments.csv");
    EXPECT_EQ(Ok({"export", db_, "--out", file}), "");
    EXPECT_EQ(ReadFile(file), out);
    ExpectFails({"export", Path("none.mdb")}, Path("none.mdb") + ": the database file does not exist");
    ExpectFails({"export", db_, "--out", Path("no/such/folder/out.csv")}, Path("no/such/folder/out.csv") + ": cannot be written");
}

TEST(Csv, WriterQuotesOnlyFieldsThatNeedItAndReaderReadsItBack)
{
    const std::vector<std::string> written = {"plain", "a,b", "say \"hi\"", "two\nlines", "cr\r", "", "Zoë"};
    std::string row;
    AppendCsvRow(row, written);
    EXPECT_EQ(row, "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",,Zoë\r\n");

    const std::vector<std::string> fields = {"x", "a,b", "q\"q", "l1\r\nl2", "", " padded "};
    std::string text;
    AppendCsvRow(text, fields);
    AppendCsvRow(text, {"second"});
    const CsvText read = ReadCsv(text + row);
    ASSERT_TRUE(read.error.empty()) << read.error;
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_EQ(read.rows[0].fields, fields);
    EXPECT_EQ(read.rows[1].line, 3) << "the quoted line break moves the next row to line 3";
    EXPECT_EQ(read.rows[2].fields, written);

    // Spreadsheet habits: a byte-order mark, LF line ends, blank lines, no line end at the end.
    const CsvText habits = ReadCsv("\xEF\xBB\xBFhead,tail\n\n1,2\r\n\"3\",4");
    ASSERT_TRUE(habits.error.empty()) << habits.error;
    ASSERT_EQ(habits.rows.size(), 3u);
    EXPECT_EQ(habits.rows[0].fields, (std::vector<std::string>{"head", "tail"}));
    EXPECT_EQ(habits.rows[1].line, 3);
    EXPECT_EQ(habits.rows[2].fields, (std::vector<std::string>{"3", "4"}));

    // Broken quoting is named by its line.
    const std::pair<const char*, const char*> broken[] = {{"a,b\n1,\"2\n3,4\n", "never closed"},
                                                          {"a,b\n\"1\"x,2\n", "after the closing quote"}};
    for (const auto& [csv, error] : broken) {
        EXPECT_EQ(ReadCsv(csv).errorLine, 2) << csv;
        EXPECT_NE(ReadCsv(csv).error.find(error), std::string::npos) << csv;
    }
}

TEST(PlainNumber, IsPlainDecimalAndReadsBackExactlyFromWhatPeopleType)
{
    for (const auto& [value, text] : std::vector<std::pair<double, const char*>>{
             {0.5, "0.5"}, {33, "33"}, {-1.25, "-1.25"}, {-0.0, "0"}, {1e-7, "0.0000001"}, {1e20, "100000000000000000000"}}) {
        EXPECT_EQ(PlainNumber(value), text);
    }
    for (double v : {0.1 + 0.2, 1.0 / 3, 2.0 / 3 * 1e-9, 123456.789, std::numeric_limits<double>::min(),
                     std::numeric_limits<double>::max(), -7e-300}) {
        const std::string text = PlainNumber(v);
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        EXPECT_EQ(ParsePlainNumber(text), v) << text;
    }
    // Parsing takes the forms people type and nothing else.
    for (const auto& [text, value] : std::vector<std::pair<const char*, double>>{{".5", 0.5}, {"-.5", -0.5}, {"+2", 2}, {" 1e-3 ", 0.001}}) {
        EXPECT_EQ(ParsePlainNumber(text), value) << text;
    }
    for (const char* bad : {"", " ", "abc", "1,5", "nan", "inf", "0x10", "1.5.2", "++2", "+-2", "-+2", "2 3"}) {
        EXPECT_FALSE(ParsePlainNumber(bad)) << bad;
    }
    // Whole numbers: plain decimal within the range only.
    EXPECT_EQ(ParseWhole("42", 1, 100), 42);
    EXPECT_EQ(ParseWhole("-1", -1, 23), -1);
    for (const char* bad : {"101", "4.0", " 4", "", "99999999999999999999"}) EXPECT_FALSE(ParseWhole(bad, 1, 100)) << bad;
}

}  // namespace
}  // namespace kestu::ctl::testing
