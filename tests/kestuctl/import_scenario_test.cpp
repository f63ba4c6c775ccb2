// import-scenario and export-scenario: the scenario tables through CSV files,
// every check, a rejected import leaving the database exactly as it was, and
// the database read refusing what the import refuses, in the same words.
#include "ctl_fixture.h"

#include "kestuctl/scenario_csv.h"
#include "scenario/scenario_rules.h"

#include <algorithm>
#include <functional>

namespace kestu::ctl::testing {
namespace {

class ImportScenarioTest : public CtlTest {
protected:
    void SetUp() override
    {
        CtlTest::SetUp();
        folder_ = Path("scenario");
        Export();
        before_ = DumpScenario();
    }

    void Export()
    {
        const CommandResult exported = Run({"export-scenario", db_, folder_});
        ASSERT_EQ(exported.status, ExitOk) << exported.err;
    }

    std::string File(const std::string& name) const { return folder_ + "/" + name; }
    std::vector<std::string> Lines(const std::string& name) { return Rows(ReadFile(File(name))); }

    void WriteLines(const std::string& name, const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        WriteFile(File(name), text);
    }

    // Replaces the lines of a file from line `first` (1-based) on; past the last line appends.
    void SetLines(const std::string& name, std::size_t first, const std::vector<std::string>& replacements)
    {
        auto lines = Lines(name);
        ASSERT_LE(first, lines.size() + 1);
        lines.resize(std::max(lines.size(), first - 1 + replacements.size()));
        std::copy(replacements.begin(), replacements.end(), lines.begin() + (first - 1));
        WriteLines(name, lines);
    }

    // An arrival row at minute:second with every tank at `water`.
    static std::string ArrivalLine(int minute, int second, const std::string& water = "1")
    {
        std::string line = std::to_string(minute) + "," + std::to_string(second);
        for (int t = 0; t < TankCount; ++t) line += "," + water;
        return line;
    }

    // sorttable.csv with `rows` outlets of tank 5, each taking `share`.
    void WriteOutletsOfTank5(int rows, const std::string& share)
    {
        std::vector<std::string> lines = {"head,tail,sorta"};
        for (int i = 0; i < rows; ++i) lines.push_back("5," + std::to_string(i + 6) + "," + share);
        WriteLines("sorttable.csv", lines);
    }

    CommandResult Import() { return Run({"import-scenario", db_, folder_}); }

    // The three files stored in the empty tables of `path` as an experimenter's
    // SQLite tool would store them: every cell as typed, which SQLite turns into
    // a number where it reads as one, an empty cell as NULL. No quoted fields.
    void StoreFiles(const std::string& path)
    {
        for (const std::string table : {"exogenous", "deadline", "sorttable"}) {
            const std::vector<std::string> lines = Lines(table + ".csv");
            if (lines.size() < 2) continue;
            std::string columns = lines[0];
            for (std::size_t at = 0; (at = columns.find(',', at)) != std::string::npos; at += 3) {
                columns.replace(at, 1, "\",\"");
            }
            std::string rows;
            for (std::size_t l = 1; l < lines.size(); ++l) {
                std::string values;
                for (std::size_t start = 0, end; start <= lines[l].size(); start = end + 1) {
                    end = std::min(lines[l].find(',', start), lines[l].size());
                    const std::string cell = lines[l].substr(start, end - start);
                    values += (values.empty() ? "" : ", ") + (cell.empty() ? "NULL" : "'" + cell + "'");
                }
                rows += (rows.empty() ? "(" : ", (") + values + ")";
            }
            testsupport::RawSql(path, "INSERT INTO \"" + table + "\" (\"" + columns + "\") VALUES " + rows);
        }
    }

    // The import fails, names every given problem, and the tables are as before.
    void ExpectRejected(const std::vector<std::string>& problems)
    {
        const CommandResult result = Import();
        EXPECT_EQ(result.status, ExitFailure);
        for (const std::string& problem : problems) EXPECT_TRUE(Has(result.err, problem));
        EXPECT_TRUE(Has(result.err, "is unchanged"));
        EXPECT_EQ(DumpScenario(), before_);
    }

    std::string folder_;
    std::string before_;
};

TEST_F(ImportScenarioTest, ExportWritesTheThreeFilesThatImportBackToTheSameTables)
{
    EXPECT_EQ(Lines("exogenous.csv")[0], "Hr,Min,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22");
    EXPECT_EQ(Lines("deadline.csv")[0], "TankNum,Hr,Min,ExpectAmt");
    EXPECT_EQ(Lines("sorttable.csv")[0], "head,tail,sorta");
    EXPECT_EQ(Lines("exogenous.csv").size(), Scenario().exogenous.size() + 1);
    EXPECT_EQ(Lines("deadline.csv")[1], "11,2,0,33");
    EXPECT_EQ(Lines("sorttable.csv")[1], "0,1,0.45");
    EXPECT_EQ(ReadFile(File("deadline.csv")).substr(0, 27), "TankNum,Hr,Min,ExpectAmt\r\n1");

    const CommandResult result = Import();
    EXPECT_EQ(result.status, ExitOk) << result.err;
    EXPECT_TRUE(Has(result.out, "17 arrival rows, 12 deadline rows, 35 outlet rows"));
    EXPECT_EQ(DumpScenario(), before_);
}

TEST_F(ImportScenarioTest, ImportedValuesReachTheProgramExactly)
{
    SetLines("exogenous.csv", 3, {ArrivalLine(0, 25, "0.30000000000000004")});
    // A row whose second has gone by when it is due is the engine's to run,
    // so it is imported; the note says it and the rows after it never arrive.
    SetLines("exogenous.csv", 5, {ArrivalLine(0, 20)});
    // Columns in another order, a spreadsheet's quoting, the spare tank record 23.
    WriteLines("deadline.csv", {"Min,Hr,ExpectAmt,TankNum", "\"30\",3,40,7", "0,9,12,23"});
    // Tank 0's shares exceed 1 by rounding only, which is accepted.
    WriteLines("sorttable.csv", {"head,tail,sorta", "0,1,0.33", "0,2,0.56", "0,-1,0.11", "5,6,1e-7"});
    ASSERT_GT(0.33 + 0.56 + 0.11, 1.0);
    const CommandResult result = Import();
    ASSERT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.err, "note: " + File("exogenous.csv") +
                              ":5: time 00:20 is not after the time before it, 01:00, so this row and every row "
                              "after it never arrive\n");

    const ScenarioTables t = Scenario();
    ASSERT_EQ(t.exogenous.size(), 17u);
    EXPECT_EQ(t.exogenous[1].At.Seconds, 25);
    EXPECT_EQ(t.exogenous[1].Water[7], 0.1 + 0.2);
    EXPECT_EQ(t.exogenous[3].At, (ClockTime{0, 20}));
    ASSERT_EQ(t.deadline.size(), 2u);
    const DeadlineRow& d = t.deadline[0];
    EXPECT_EQ(std::vector<int>({d.TankNum, d.At.Minutes, d.At.Seconds, d.ExpectAmt}), std::vector<int>({7, 3, 30, 40}));
    EXPECT_EQ(t.deadline[1].TankNum, 23);
    ASSERT_EQ(t.sorttable.size(), 4u);
    EXPECT_EQ(t.sorttable[2].tail, -1);
    EXPECT_EQ(t.sorttable[3].sorta, 1e-7);

    // And out again as text that reads back to the same numbers.
    Export();
    EXPECT_EQ(Lines("exogenous.csv")[2].substr(0, 25), "0,25,0.30000000000000004,");
    EXPECT_EQ(Lines("sorttable.csv")[4], "5,6,0.0000001");
}

TEST_F(ImportScenarioTest, EveryCheckRejectsTheImportAndLeavesTheTablesAlone)
{
    struct Case {
        std::function<void()> edit;  // applied to freshly exported files
        std::vector<std::string> problems;
    };
    const std::string exo = "exogenous.csv", dl = "deadline.csv", st = "sorttable.csv";
    const std::vector<Case> cases = {
        {[&] { SetLines(exo, 3, {ArrivalLine(0, 60)}); }, {"exogenous.csv:3: column \"Min\": 60 is outside 0..59"}},
        {[&] { SetLines(exo, 3, {"0.5" + ArrivalLine(0, 25).substr(1)}); },
         {"exogenous.csv:3: column \"Hr\": 0.5 is not a whole number"}},
        // Every tank column is present and numeric.
        {[&] {
             auto lines = Lines(exo);
             for (std::string& line : lines) line.erase(line.rfind(','));  // drops column "22"
             WriteLines(exo, lines);
         },
         {"exogenous.csv:1: column \"22\" is missing"}},
        {[&] {  // tank 0 holds a word, tank 22 nothing
             const std::string last = ArrivalLine(1, 30);
             SetLines(exo, 4, {"1,0,lots" + ArrivalLine(1, 0).substr(5), last.substr(0, last.size() - 1)});
         },
         {"exogenous.csv:4: column \"0\": \"lots\" is not a number", "exogenous.csv:5: column \"22\": empty cell"}},
        {[&] { SetLines(dl, 2, {"24,2,0,33", "-1,2,0,31"}); },
         {"deadline.csv:2: column \"TankNum\": 24 is outside 0..23",
          "deadline.csv:3: column \"TankNum\": -1 is outside 0..23"}},
        {[&] { SetLines(dl, 3, {"12,2,60,31"}); }, {"deadline.csv:3: column \"Min\": 60 is outside 0..59"}},
        {[&] { SetLines(st, 2, {"24,1,0.45", "0,-2,0.45", "1,24,0.45"}); },
         {"sorttable.csv:2: column \"head\": 24 is outside 0..23", "sorttable.csv:3: column \"tail\": -2 is outside -1..23",
          "sorttable.csv:4: column \"tail\": 24 is outside -1..23"}},
        {[&] { WriteOutletsOfTank5(11, "0.05"); },
         {"sorttable.csv:12: column \"head\": tank 5 has more than 10 outlet rows"}},
        // What the shares leave short of 1 goes out through one more outlet, and a tank has room for ten.
        {[&] { WriteOutletsOfTank5(10, "0.0625"); },
         {"sorttable.csv:11: column \"sorta\": the 10 shares of tank 5 add up to 0.625, not 1"}},
        {[&] { SetLines(st, 37, {"0,3,0.2"}); },  // tank 0 already sends 0.45 + 0.45
         {"sorttable.csv:37: column \"sorta\": the shares of tank 0 add up to 1.1"}},
        {[&] { SetLines(st, 2, {"0,1,-0.45"}); }, {"sorttable.csv:2: column \"sorta\": -0.45 is outside 0..1"}},
        // Headers name each column once, and rows have as many fields.
        {[&] { WriteLines(dl, {"TankNum,Hr,Min,ExpectAmt,Note,Hr", "11,2,0,33,x,2"}); },
         {"deadline.csv:1: unknown column \"Note\"", "deadline.csv:1: column \"Hr\" appears twice"}},
        {[&] { SetLines(dl, 4, {"7,3,0"}); }, {"deadline.csv:4: 3 fields where the header has 4"}},
        {[&] {
             SetLines(st, 3, {"0,2,\"0.45"});
             ASSERT_TRUE(QFile::remove(QString::fromStdString(File(dl))));
             WriteLines(exo, {Lines(exo)[0]});
         },
         {"exogenous.csv: has no rows", "deadline.csv: cannot be read",
          "sorttable.csv:3: a quoted field is never closed"}},
        // Every problem in every file is listed.
        {[&] {
             SetLines(exo, 3, {ArrivalLine(0, 61)});
             SetLines(dl, 2, {"11,2,99,33"});
             SetLines(st, 2, {"x,1,0.45"});
         },
         {"exogenous.csv:3:", "deadline.csv:2:", "sorttable.csv:2: column \"head\": \"x\" is not a number",
          "3 problems found"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problems.front());
        Export();
        c.edit();
        ExpectRejected(c.problems);
    }
}

TEST_F(ImportScenarioTest, AFailureWhileWritingLeavesTheOldScenarioAndAMissingDatabaseIsNotCreated)
{
    // Valid files, but the last table cannot take them: the first two tables
    // must not stay emptied or half replaced.
    WriteLines("deadline.csv", {"TankNum,Hr,Min,ExpectAmt", "7,3,0,42"});
    const std::string exogenous = Dump("exogenous"), deadline = Dump("deadline");
    Sql("DROP TABLE \"sorttable\"");
    ExpectFails({"import-scenario", db_, folder_}, "sorttable");
    EXPECT_EQ(Dump("exogenous"), exogenous);
    EXPECT_EQ(Dump("deadline"), deadline);

    const std::string missing = Path("nowhere.mdb");
    ExpectFails({"import-scenario", missing, folder_}, missing + ": the database file does not exist");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));
}

TEST_F(ImportScenarioTest, ExportWritesEvenCellsTheProgramWouldRefuse)
{
    Sql("UPDATE \"deadline\" SET \"Min\" = NULL WHERE rowid = 1");
    Sql("UPDATE \"deadline\" SET \"ExpectAmt\" = 'many' WHERE rowid = 2");
    before_ = DumpScenario();
    Export();
    EXPECT_EQ(Lines("deadline.csv")[1], "11,2,,33");
    EXPECT_EQ(Lines("deadline.csv")[2], "12,2,0,many");
    ExpectRejected({"deadline.csv:2: column \"Min\": empty cell",
                    "deadline.csv:3: column \"ExpectAmt\": \"many\" is not a number"});
}

// The import and the database read hold a scenario to the same rules: a fault
// is refused by both at the same row and column, in the same words. The
// import lists every fault; the database read names the first.
TEST_F(ImportScenarioTest, TheImportAndTheDatabaseReadRefuseAFaultInTheSameWords)
{
    struct Fault {
        std::string table;
        int row;             // 1-based, below the header; 0 for the table as a whole
        std::string column;  // empty for a row or table as a whole
        std::string what;
    };
    struct Case {
        std::function<void()> edit;  // applied to freshly exported files
        std::vector<Fault> faults;   // empty: both accept the files
    };
    const std::string exo = "exogenous.csv", dl = "deadline.csv", st = "sorttable.csv";
    const std::vector<Case> cases = {
        {[&] { SetLines(exo, 4, {ArrivalLine(0, 60)}); }, {{"exogenous", 3, "Min", "60 is outside 0..59"}}},
        {[&] { SetLines(exo, 3, {"0,25,-2e12" + ArrivalLine(0, 25).substr(6)}); },
         {{"exogenous", 2, "0", "-2E+12 is outside -1E+12..1E+12"}}},
        {[&] { SetLines(exo, 5, {"1.5" + ArrivalLine(1, 30).substr(1)}); },
         {{"exogenous", 4, "Hr", "1.5 is not a whole number"}}},
        {[&] { WriteLines(exo, {Lines(exo)[0]}); }, {{"exogenous", 0, "", "has no rows"}}},
        {[&] { SetLines(dl, 3, {"24,2,0,31"}); }, {{"deadline", 2, "TankNum", "24 is outside 0..23"}}},
        {[&] { SetLines(dl, 6, {"8,4,,50"}); }, {{"deadline", 5, "Min", "empty cell"}}},
        {[&] { SetLines(dl, 2, {"11,2,0,lots"}); }, {{"deadline", 1, "ExpectAmt", "\"lots\" is not a number"}}},
        {[&] { SetLines(dl, 4, {"7,3,0,40000"}); }, {{"deadline", 3, "ExpectAmt", "40000 is outside -32768..32767"}}},
        {[&] { SetLines(st, 2, {"0,1,1.25"}); }, {{"sorttable", 1, "sorta", "1.25 is outside 0..1"}}},
        {[&] { SetLines(st, 5, {"1,24,0.125"}); }, {{"sorttable", 4, "tail", "24 is outside -1..23"}}},
        {[&] { SetLines(st, 37, {"0,3,0.2"}); },  // tank 0 already sends 0.45 + 0.45
         {{"sorttable", 36, "sorta", "the shares of tank 0 add up to 1.1 by this row, more than 1"}}},
        {[&] { SetLines(st, 37, std::vector<std::string>(5, "2,15,0")); },  // tank 2 has six rows
         {{"sorttable", 40, "head", "tank 2 has more than 10 outlet rows"}}},
        {[&] {  // tank 1 has six rows adding up to 1; one fewer eighth, and four more rows
             SetLines(st, 9, {"1,8,0.125"});
             SetLines(st, 37, std::vector<std::string>(4, "1,9,0"));
         },
         {{"sorttable", 39, "sorta",
           "the 10 shares of tank 1 add up to 0.875, not 1, and a tank has no room for an 11th outlet to carry the rest"}}},
        // Several faults: every one listed by the import, the first by the database read.
        {[&] {
             SetLines(st, 2, {"0,1,-0.5"});
             SetLines(dl, 3, {"24,2,0,31", "13,3,0,4.5"});
             SetLines(exo, 4, {ArrivalLine(0, 60)});
         },
         {{"exogenous", 3, "Min", "60 is outside 0..59"},
          {"deadline", 2, "TankNum", "24 is outside 0..23"},
          {"deadline", 3, "ExpectAmt", "4.5 is not a whole number"},
          {"sorttable", 1, "sorta", "-0.5 is outside 0..1"}}},
        // What both take: shares past 1 by rounding only, and ten outlets of the
        // spare record 23, which the program never completes.
        {[&] {
             SetLines(st, 2, {"0,1,0.33", "0,2,0.56", "0,-1,0.11"});
             SetLines(st, 37, std::vector<std::string>(10, "23,1,0.01"));
         },
         {}},
    };
    const std::string stored = Path("stored.mdb");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults.empty() ? "accepted" : c.faults.front().what);
        Export();
        c.edit();

        std::vector<std::string> imported;
        for (const Fault& f : c.faults) {
            imported.push_back(File(f.table + ".csv") + (f.row ? ":" + std::to_string(f.row + 1) : std::string()) + ": " +
                               (f.column.empty() ? "" : "column \"" + f.column + "\": ") + f.what);
        }
        EXPECT_EQ(ReadScenarioCsv(folder_).problems, imported);
        if (!imported.empty()) ExpectRejected(imported);

        ASSERT_TRUE(!QFile::exists(QString::fromStdString(stored)) || QFile::remove(QString::fromStdString(stored)));
        ASSERT_TRUE(ExperimentDb::Create(stored, NewDbContent::SchemaOnly).ok());
        StoreFiles(stored);
        auto db = ExperimentDb::Open(stored, OpenMode::ReadOnly);
        ASSERT_TRUE(db.ok()) << db.error();
        auto read = db.value()->ReadScenario();
        if (c.faults.empty()) {
            EXPECT_TRUE(read.ok()) << read.error();
            continue;
        }
        ASSERT_FALSE(read.ok());
        const Fault& first = c.faults.front();
        EXPECT_EQ(read.error(), stored + ": table \"" + first.table + "\"" +
                                    (first.column.empty() ? "" : ", column \"" + first.column + "\"") +
                                    (first.row ? ", row " + std::to_string(first.row) + ": " : " ") + first.what);
    }
}

}  // namespace
}  // namespace kestu::ctl::testing
