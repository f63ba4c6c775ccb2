// The tables through CSV files: init, export, export-scenario and
// import-scenario (which numbers the rules take is tests/scenario's).
#include "ctl_fixture.h"

#include <algorithm>
#include <functional>
#include <limits>

#include "kestuctl/scenario_csv.h"

namespace kestu::ctl::testing {
namespace {

// A database with the standard scenario, exported into folder_.
class TableTest : public CtlTest {
protected:
    void SetUp() override
    {
        CtlTest::SetUp();
        folder_ = Path("scenario");
        Ok({"export-scenario", db_, folder_});
        before_ = DumpScenario();
    }

    std::string File(const std::string& name) const { return folder_ + "/" + name + ".csv"; }
    std::vector<std::string> Lines(const std::string& name) { return Rows(ReadFile(File(name))); }

    // The file's lines from line `first` (1-based) on replaced; past the last line appended.
    void SetLines(const std::string& name, std::size_t first, const std::vector<std::string>& replacements)
    {
        auto lines = first == 0 ? std::vector<std::string>{} : Lines(name);
        first = std::max<std::size_t>(first, 1);
        lines.resize(std::max(lines.size(), first - 1 + replacements.size()));
        std::copy(replacements.begin(), replacements.end(), lines.begin() + (first - 1));
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        WriteFile(File(name), text);
    }

    // An arrival row at minute:second with every tank at `water`.
    static std::string ArrivalLine(int minute, int second, const std::string& water = "1")
    {
        std::string line = std::to_string(minute) + "," + std::to_string(second);
        for (int t = 0; t < TankCount; ++t) line += "," + water;
        return line;
    }

    // The import fails, names every given problem, and the tables are as before.
    void ExpectRejected(const std::vector<std::string>& problems)
    {
        const CommandResult result = Run({"import-scenario", db_, folder_});
        EXPECT_EQ(result.status, ExitFailure);
        for (const std::string& problem : problems) EXPECT_TRUE(Has(result.err, problem));
        EXPECT_TRUE(Has(result.err, "is unchanged"));
        EXPECT_EQ(DumpScenario(), before_);
    }

    std::string folder_;
    std::string before_;
};

TEST_F(TableTest, InitCreatesTheStandardScenarioAndExportWritesParticipantsAndExperimentsAsRfc4180)
{
    const QString elsewhere = dir_.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere) && QDir::setCurrent(elsewhere));
    const CommandResult byDefault = Run({"init"});
    const CommandResult named = Run({"init", "--", "-new.mdb"});  // after "--" a leading dash is part of a file name
    QDir::setCurrent(QDir::tempPath());
    ASSERT_EQ(byDefault.status + named.status, ExitOk) << byDefault.err << named.err;
    EXPECT_EQ(Scenario((elsewhere + "/KESTU.MDB").toStdString()).deadline.size(), 12u);
    EXPECT_TRUE(QFile::exists(elsewhere + "/-new.mdb"));
    ExpectFails({"init", db_}, db_ + ": already exists");  // the data layer's refusal, passed on

    // export: participants, and by default experiments with ISO dates and empty cells for missing results.
    Sql("INSERT INTO \"UserData\" VALUES ('ab12', 'Zoë', 'O''Neil, Jr.', '2', 'Physics', '21', 'F', '0'), "
        "('cd34', 'Ann \"Nan\"', 'Two\nLines', '', '', NULL, '', '0')");
    EXPECT_EQ(Ok({"export", db_, "--table=participants"}),  // a value after "=" too
              "UserID,FirstName,LastName,SchoolYear,Major,Age,Sex,TrialNum\r\n"
              "ab12,Zoë,\"O'Neil, Jr.\",2,Physics,21,F,0\r\n"
              "cd34,\"Ann \"\"Nan\"\"\",\"Two\nLines\",,,,,0\r\n");

    // Experiments are the default table.
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

TEST_F(TableTest, ExportedFilesImportBackAndImportedValuesReachTheProgramExactly)
{
    EXPECT_EQ(Lines("exogenous")[0], "Hr,Min,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22");
    EXPECT_EQ(ReadFile(File("deadline")).substr(0, 35), "TankNum,Hr,Min,ExpectAmt\r\n11,2,0,33");
    EXPECT_EQ(Lines("sorttable")[0] + "|" + Lines("sorttable")[1], "head,tail,sorta|0,1,0.45");
    EXPECT_TRUE(Has(Ok({"import-scenario", db_, folder_}), "17 arrival rows, 12 deadline rows, 35 outlet rows"));
    EXPECT_EQ(DumpScenario(), before_);

    SetLines("exogenous", 3, {ArrivalLine(0, 25, "0.30000000000000004")});
    // A row whose second has gone by when it is due is the engine's to run, so it is imported with a note.
    SetLines("exogenous", 5, {ArrivalLine(0, 20)});
    // Columns in another order, a spreadsheet's quoting, the spare tank record 23.
    SetLines("deadline", 0, {"Min,Hr,ExpectAmt,TankNum", "\"30\",3,40,7", "0,9,12,23"});
    SetLines("sorttable", 0, {"head,tail,sorta", "0,1,0.33", "0,2,0.56", "0,-1,0.11", "5,6,1e-7"});
    const CommandResult result = Run({"import-scenario", db_, folder_});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.err, "kestuctl: database " + db_ + " (SQLite file)\nnote: " + File("exogenous") +
                              ":5: time 00:20 is not after the time before it, 01:00, so this row and every row "
                              "after it never arrive\n");
    const ScenarioTables t = Scenario();
    ASSERT_EQ(t.exogenous.size(), 17u);
    EXPECT_EQ(t.exogenous[1].At, (ClockTime{0, 25}));
    EXPECT_EQ(t.exogenous[1].Water[7], 0.1 + 0.2);
    EXPECT_EQ(t.exogenous[3].At, (ClockTime{0, 20}));
    ASSERT_EQ(t.deadline.size(), 2u);
    const DeadlineRow& d = t.deadline[0];
    EXPECT_EQ(std::vector<int>({d.TankNum, d.At.Minutes, d.At.Seconds, d.ExpectAmt, t.deadline[1].TankNum}),
              std::vector<int>({7, 3, 30, 40, 23}));
    ASSERT_EQ(t.sorttable.size(), 4u);
    EXPECT_EQ(t.sorttable[2].tail, -1);
    EXPECT_EQ(t.sorttable[3].sorta, 1e-7);

    // And out again as text that reads back to the same numbers.
    Ok({"export-scenario", db_, folder_});
    EXPECT_EQ(Lines("exogenous")[2].substr(0, 25), "0,25,0.30000000000000004,");
    EXPECT_EQ(Lines("sorttable")[4], "5,6,0.0000001");
}

TEST_F(TableTest, FilesTheImportCannotTakeAreRejectedByFileAndLineAndLeaveTheTablesAlone)
{
    const std::vector<std::pair<std::function<void()>, std::vector<std::string>>> cases = {
        {[&] {
             auto lines = Lines("exogenous");
             for (std::string& line : lines) line.erase(line.rfind(','));  // drops column "22"
             SetLines("exogenous", 0, lines);
         },
         {"exogenous.csv:1: column \"22\" is missing"}},
        {[&] {  // tank 0 holds a word, tank 22 nothing
             const std::string last = ArrivalLine(1, 30);
             SetLines("exogenous", 4, {"1,0,lots" + ArrivalLine(1, 0).substr(5), last.substr(0, last.size() - 1)});
         },
         {"exogenous.csv:4: column \"0\": \"lots\" is not a number", "exogenous.csv:5: column \"22\": empty cell"}},
        // Headers name each column once, and rows have as many fields.
        {[&] { SetLines("deadline", 0, {"TankNum,Hr,Min,ExpectAmt,Note,Hr", "11,2,0,33,x,2"}); },
         {"deadline.csv:1: unknown column \"Note\"", "deadline.csv:1: column \"Hr\" appears twice"}},
        {[&] { SetLines("deadline", 4, {"7,3,0"}); }, {"deadline.csv:4: 3 fields where the header has 4"}},
        {[&] {
             SetLines("sorttable", 3, {"0,2,\"0.45"});
             ASSERT_TRUE(QFile::remove(Q(File("deadline"))));
             SetLines("exogenous", 0, {Lines("exogenous")[0]});
         },
         {"exogenous.csv: has no rows", "deadline.csv: cannot be read", "sorttable.csv:3: a quoted field is never closed"}},
        // A sign is one sign: "+-1" is no number, though -1 is a sound tail.
        {[&] { SetLines("sorttable", 2, {"0,+-1,0.45"}); },
         {"sorttable.csv:2: column \"tail\": \"+-1\" is not a number"}},
        {[&] { SetLines("exogenous", 3, {ArrivalLine(0, 25, "+-5")}); },
         {"exogenous.csv:3: column \"0\": \"+-5\" is not a number"}},
        // A rule over rows is placed at the line that breaks it.
        {[&] { SetLines("sorttable", 37, std::vector<std::string>(5, "2,15,0")); },
         {"sorttable.csv:41: column \"head\": tank 2 has more than 10 outlet rows"}},
        // Every problem in every file is listed.
        {[&] {
             SetLines("exogenous", 3, {ArrivalLine(0, 61)});
             SetLines("deadline", 2, {"11,2,99,33"});
             SetLines("sorttable", 2, {"x,1,0.45"});
         },
         {"exogenous.csv:3: column \"Min\": 61 is outside 0..59", "deadline.csv:2:",
          "sorttable.csv:2: column \"head\": \"x\" is not a number", "3 problems found"}},
    };
    for (const auto& [edit, problems] : cases) {
        SCOPED_TRACE(problems.front());
        Ok({"export-scenario", db_, folder_});
        edit();
        ExpectRejected(problems);
    }
}

// The import names the file's line and the database read the table's row of a fault, in the same words.
TEST_F(TableTest, AFaultIsRefusedInTheSameWordsAsTheDatabaseReadsExportedEvenThoughRefusedAndAFailedWriteChangesNothing)
{
    const std::tuple<std::string, int, std::string, std::string, std::string> cases[] = {
        {"deadline", 3, "24,2,0,31", "UPDATE deadline SET TankNum = 24 WHERE rowid = 2",
         "column \"TankNum\": 24 is outside 0..23"},
        {"sorttable", 37, "0,3,0.2", "INSERT INTO sorttable VALUES (0, 3, 0.2)",
         "column \"sorta\": the shares of tank 0 add up to 1.1 by this row, more than 1"},
    };
    for (const auto& [table, line, edit, sql, fault] : cases) {
        SCOPED_TRACE(fault);
        Ok({"export-scenario", db_, folder_});
        SetLines(table, line, {edit});
        const std::vector<std::string> problems{File(table) + ":" + std::to_string(line) + ": " + fault};
        EXPECT_EQ(ReadScenarioCsv(folder_).problems, problems);

        const std::string copy = Path(table + ".mdb");
        ASSERT_TRUE(QFile::copy(Q(db_), Q(copy)));
        testsupport::RawSql(copy, sql);
        EXPECT_EQ(ExperimentDb::Open(copy, OpenMode::ReadOnly).value()->ReadScenario().error(),
                  copy + ": table \"" + table + "\", " + fault.substr(0, fault.find(':')) + ", row " +
                      std::to_string(line - 1) + fault.substr(fault.find(':')));
    }

    // export-scenario writes even cells the program would refuse.
    Sql("UPDATE \"deadline\" SET \"Min\" = NULL WHERE rowid = 1");
    Sql("UPDATE \"deadline\" SET \"ExpectAmt\" = 'many' WHERE rowid = 2");
    Ok({"export-scenario", db_, folder_});
    EXPECT_EQ(Lines("deadline")[1] + "|" + Lines("deadline")[2], "11,2,,33|12,2,0,many");

    // The last table cannot take valid files: the first two must not stay emptied or half replaced.
    SetLines("deadline", 0, {"TankNum,Hr,Min,ExpectAmt", "7,3,0,42"});
    const std::string exogenous = Dump("exogenous"), deadline = Dump("deadline");
    Sql("DROP TABLE \"sorttable\"");
    ExpectFails({"import-scenario", db_, folder_}, "sorttable");
    EXPECT_EQ(Dump("exogenous") + Dump("deadline"), exogenous + deadline);

    const std::string missing = Path("nowhere.mdb");
    ExpectFails({"import-scenario", missing, folder_}, missing + ": the database file does not exist");
    EXPECT_FALSE(QFile::exists(Q(missing)));
}

}  // namespace
}  // namespace kestu::ctl::testing
