// replay and rescore against trials run through the core: the log replayed
// headless must score what the trial scored, a row that says otherwise is
// caught, and rows and logs that do not pair up are reported.
#include "ctl_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>

#include "kestuctl/rescore_check.h"
#include "trials/trial_log.h"

namespace kestu::ctl::testing {
namespace {

class ReplayTest : public CtlTest {
protected:
    // The trial's log cut after `records` records and ended with a STOP at the
    // last record's time, as when the window is closed during the trial.
    void StopLogEarly(const std::string& name, std::size_t records)
    {
        std::vector<std::string> lines = Rows(ReadFile(Path(name)));
        ASSERT_GT(lines.size(), 2 * records) << "the trial has more records than are kept";
        lines.resize(2 * records);
        const std::string& header = lines[2 * records - 2];
        lines.push_back(header.substr(0, header.find(",\"")) + ",\"STOP\",0");
        lines.push_back(lines[2 * records - 1]);
        std::string cut;
        for (const std::string& line : lines) cut += line + "\r\n";
        WriteFile(Path(name), cut);
    }

    // The line of a rescore report that starts with `field`.
    static std::string ReportLine(const std::string& report, const std::string& field)
    {
        const auto line = report.find(field);
        EXPECT_NE(line, std::string::npos) << field << " is not in:\n" << report;
        return line == std::string::npos ? "" : report.substr(line, report.find('\n', line) - line);
    }
};

TEST_F(ReplayTest, ReplayReportsWhatTheTrialScoredWritesNothingAndNamesALogItCannotReplay)
{
    const TrialOutcome trial = RecordTrial("p1", 1, 11);
    ASSERT_TRUE(trial.shares);
    const QStringList files = FilesInFolder();
    const std::string rows = Dump("Experiments") + Dump("UserData");
    const std::string out = Ok({"replay", db_, Path("p1.1"), "--json"});
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
    ASSERT_FALSE(json.isEmpty()) << out;

    const PlantState& p = trial.plant;
    EXPECT_EQ(json["endClock"].toString().toStdString(), FormatClock(p.Clock));
    EXPECT_FALSE(json["endedByStop"].toBool());
    std::vector<double> figures;
    for (const char* key : {"missedBuckets", "busyTicks", "cleaningTicks", "busyShare", "cleaningShare", "idleShare"}) {
        figures.push_back(json[key].toDouble());
    }
    EXPECT_EQ(figures, (std::vector<double>{double(trial.missed.Total), double(p.BusyPumpTicks), double(p.SweepPumpTicks),
                                            trial.shares->BusyTime, trial.shares->SweepTime, trial.shares->IdleTime}));
    const QJsonArray perTank = json["missedPerTank"].toArray();
    ASSERT_EQ(perTank.size(), TankCount);
    for (int t = 0; t < TankCount; ++t) {
        EXPECT_EQ(perTank[t].isNull() ? std::nullopt : std::optional(perTank[t].toInt(-999)), trial.missed.PerTank[t]) << t;
    }

    // The text report carries the same figures.
    const std::string text = Ok({"replay", db_, Path("p1.1")});
    EXPECT_TRUE(Has(text, "end clock:       " + FormatClock(p.Clock) + " (the trial's end time)"));
    EXPECT_TRUE(Has(text, "missed buckets:  " + std::to_string(trial.missed.Total) + "\n"));
    EXPECT_TRUE(Has(text, "pump-ticks:      busy " + std::to_string(p.BusyPumpTicks) + ", cleaning " +
                              std::to_string(p.SweepPumpTicks)));
    EXPECT_EQ(FilesInFolder(), files);
    EXPECT_EQ(Dump("Experiments") + Dump("UserData"), rows);

    ExpectFails({"replay", db_, Path("p9.1")}, Path("p9.1") + ": the trial log does not exist");
    WriteFile(Path("bad.1"), "0,0,\"ON\",3\r\nnot a state line\r\n");
    ExpectFails({"replay", db_, Path("bad.1")}, Path("bad.1") + ", line 2: not a state line");
}

TEST_F(ReplayTest, RescoreAgreesWithRowsOfTrialsRunThroughTheCoreAndMarksEachWrongFigure)
{
    RecordTrial("p1", 1, 31);
    const TrialOutcome second = RecordTrial("p1", 2, 32);
    RecordTrial("p2", 1, 33);  // another participant's trial is not looked at
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = -1 WHERE \"UserID\" = 'p2'");

    const std::string agree = Ok({"rescore", db_, "p1", "--all"});
    EXPECT_TRUE(Has(agree, "trial 1 (" + Path("p1.1") + "): agrees"));
    EXPECT_TRUE(Has(agree, "2 trials: 2 agree, 0 disagree"));
    EXPECT_EQ(agree.find("MISMATCH"), std::string::npos);
    EXPECT_EQ(Ok({"rescore", db_, "p1"}), agree) << "without TRIAL every trial is rescored";
    ExpectFails({"rescore", db_, "p1", "3"}, "no row for User ID \"p1\", trial 3");

    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = \"MissedBuckets\" + 1 WHERE \"Experiment\" = 2");
    const CommandResult wrong = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(wrong.status, ExitFailure);
    EXPECT_TRUE(Has(wrong.out, "trial 2 (" + Path("p1.2") + "): DISAGREES"));
    const std::string row = ReportLine(wrong.out, "MissedBuckets  " + std::to_string(second.missed.Total + 1));
    EXPECT_TRUE(Has(row, std::to_string(second.missed.Total)));
    EXPECT_TRUE(Has(row, "MISMATCH"));
    EXPECT_TRUE(Has(wrong.out, "2 trials: 1 agree, 1 disagree"));

    // One trial's rescore looks at that trial only, and shares agree within one billionth.
    Sql("UPDATE \"Experiments\" SET \"BusyTime\" = \"BusyTime\" + 1e-12 WHERE \"Experiment\" = 1");
    EXPECT_TRUE(Has(Ok({"rescore", db_, "p1", "1"}), "1 trial: 1 agree"));
    Sql("UPDATE \"Experiments\" SET \"SweepTime\" = \"SweepTime\" + 1e-6, \"IdleTime\" = 0.5 WHERE \"Experiment\" = 1");
    const CommandResult shares = Run({"rescore", db_, "p1", "1"});
    EXPECT_EQ(shares.status, ExitFailure);
    EXPECT_TRUE(Has(ReportLine(shares.out, "SweepTime"), "MISMATCH"));
    EXPECT_TRUE(Has(ReportLine(shares.out, "IdleTime"), "MISMATCH"));
    EXPECT_EQ(shares.out.find("BusyTime"), shares.out.rfind("BusyTime"));

    // A missing log counts as a disagreement.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(Path("p1.2"))));
    const CommandResult missing = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(missing.status, ExitFailure);
    EXPECT_TRUE(Has(missing.out, "trial 2: MISMATCH: the log cannot be replayed: " + Path("p1.2")));
}

TEST_F(ReplayTest, AnUnfinishedRowAgreesWithALogEndedByStopAndOnlyThat)
{
    RecordTrial("p1", 1, 81);
    RecordTrial("p1", 2, 82, /*completeRow=*/false);
    StopLogEarly("p1.2", 6);
    EXPECT_TRUE(Has(Ok({"replay", db_, Path("p1.2")}), "stopped before the end time"));
    EXPECT_TRUE(Has(Ok({"rescore", db_, "p1", "--all"}), "trial 2 (" + Path("p1.2") + "): agrees"));

    StopLogEarly("p1.1", 6);  // a finished row whose log stops early
    EXPECT_EQ(Run({"rescore", db_, "p1", "1"}).status, ExitFailure);
}

// rescore pairs every row of the participant with one log by the row's whole
// trial number; rows sharing a number and logs no row names are disagreements.
TEST_F(ReplayTest, RowsAndLogsThatDoNotPairUpAreEachReported)
{
    const auto count = [](const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    };
    RecordTrial("p1", 1, 51);
    RecordTrial("p1", 2, 52);
    // 2^32 + 1: as a 32-bit number it would be trial 1, whose log is right there.
    Sql("UPDATE \"Experiments\" SET \"Experiment\" = 4294967297 WHERE \"Experiment\" = 1");
    Sql("INSERT INTO \"Experiments\" SELECT * FROM \"Experiments\" WHERE \"Experiment\" = 2");
    std::filesystem::copy_file(Path("p1.2"), Path("p1.7"));
    // Not logs of p1's trials: another participant's, and names that are not USERID.N.
    for (const char* other : {"p12.1", "p1.7.csv", "p1.x", "p1."}) WriteFile(Path(other), "x");

    const CommandResult all = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(all.status, ExitFailure);
    EXPECT_TRUE(Has(all.out, "trial 4294967297: MISMATCH: the log cannot be replayed: " + Path("p1.4294967297")));
    EXPECT_EQ(all.out.find("trial 1 ("), std::string::npos) << all.out;
    EXPECT_EQ(count(all.out, "trial 2 (" + Path("p1.2") + "): agrees"), 2u) << "each of the two rows is rescored";
    EXPECT_TRUE(Has(all.out, "trial 2: MISMATCH: 2 rows of User ID \"p1\" have this trial number"));
    EXPECT_TRUE(Has(all.out, "log " + Path("p1.1") + ": MISMATCH: no row of User ID \"p1\" has trial number 1\n"));
    EXPECT_TRUE(Has(all.out, "log " + Path("p1.7") + ": MISMATCH: no row of User ID \"p1\" has trial number 7\n"));
    EXPECT_EQ(count(all.out, "\nlog "), 2u) << all.out;
    EXPECT_TRUE(Has(all.out, "3 trials: 2 agree, 1 disagree; 1 trial number on several rows; 2 logs without a row\n"));

    // One trial: its own rows only, and the whole number reaches it.
    const CommandResult big = Run({"rescore", db_, "p1", "4294967297"});
    EXPECT_EQ(big.status, ExitFailure);
    EXPECT_TRUE(Has(big.out, "trial 4294967297: MISMATCH"));
    EXPECT_EQ(count(big.out, "\nlog "), 0u) << "logs without a row are looked for only with every trial";
    const CommandResult shared = Run({"rescore", db_, "p1", "2"});
    EXPECT_EQ(shared.status, ExitFailure);
    EXPECT_TRUE(Has(shared.out, "trial 2: MISMATCH: 2 rows"));
    EXPECT_TRUE(Has(shared.out, "2 trials: 2 agree, 0 disagree; 1 trial number on several rows\n"));

    // A number past 64 bits is refused, not wrapped around to a small one.
    const CommandResult huge = Run({"rescore", db_, "p1", "18446744073709551617"});
    EXPECT_EQ(huge.status, ExitUsage);
    EXPECT_TRUE(Has(huge.err, "TRIAL is a trial number"));
}

TEST(CompareWithReplay, EmptyCellsAgreeOnlyWithFiguresThatDoNotExist)
{
    ReplayOutcome replay;
    replay.trial.missed.Total = 12;
    replay.trial.shares = PumpShares{0.5, 0.25, 0.25};
    ExperimentRow row;
    row.MissedBuckets = 12;
    row.BusyTime = 0.5;
    row.SweepTime = 0.25;  // and IdleTime emptied by hand
    std::string checks;
    for (const FieldCheck& check : CompareWithReplay(row, replay)) checks += check.field + "=" + check.stored + (check.agrees ? " " : "! ");
    EXPECT_EQ(checks, "MissedBuckets=12 BusyTime=0.5 SweepTime=0.25 IdleTime=(empty)! ");

    replay.trial.shares.reset();  // no tick counted: the trial stores empty shares
    row.BusyTime = row.SweepTime = std::nullopt;
    for (const FieldCheck& check : CompareWithReplay(row, replay)) EXPECT_TRUE(check.agrees) << check.field;
}

}  // namespace
}  // namespace kestu::ctl::testing
