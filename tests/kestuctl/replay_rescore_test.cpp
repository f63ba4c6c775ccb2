// replay and rescore against trials run through the core: the log replayed
// headless must score what the trial scored, and a row that says otherwise is caught.
#include "ctl_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "kestuctl/rescore_check.h"
#include "scenario/deadlines.h"
#include "trials/trial_log.h"

namespace kestu::ctl::testing {
namespace {

class ReplayTest : public CtlTest {
protected:
    // The trial's log cut after `records` records and ended with a STOP at the
    // last record's time, as when the window is closed during the trial.
    void WriteStoppedLog(const std::string& from, const std::string& to, std::size_t records)
    {
        std::vector<std::string> lines = Rows(ReadFile(Path(from)));
        ASSERT_GT(lines.size(), 2 * records) << "the trial has more records than are kept";
        lines.resize(2 * records);
        const std::string& header = lines[2 * records - 2];
        lines.push_back(header.substr(0, header.find(",\"")) + ",\"STOP\",0");
        lines.push_back(lines[2 * records - 1]);
        std::string cut;
        for (const std::string& line : lines) cut += line + "\r\n";
        WriteFile(Path(to), cut);
    }

    // The line of a rescore report that starts with `field`.
    static std::string ReportLine(const std::string& report, const std::string& field)
    {
        const auto line = report.find(field);
        EXPECT_NE(line, std::string::npos) << field << " is not in:\n" << report;
        return line == std::string::npos ? "" : report.substr(line, report.find('\n', line) - line);
    }
};

TEST_F(ReplayTest, ReplayReportsWhatTheTrialScoredAndWritesNothing)
{
    const TrialOutcome trial = RecordTrial("p1", 1, 11);
    ASSERT_TRUE(trial.shares);
    const QStringList files = FilesInFolder();
    const std::string rows = Dump("Experiments") + Dump("UserData");
    const CommandResult result = Run({"replay", db_, Path("p1.1"), "--json"});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(result.out)).object();
    ASSERT_FALSE(json.isEmpty()) << result.out;

    const PlantState& p = trial.plant;
    EXPECT_EQ(json["endClock"].toString().toStdString(), FormatClock(p.Clock));
    EXPECT_FALSE(json["endedByStop"].toBool());
    EXPECT_EQ(json["missedBuckets"].toDouble(), static_cast<double>(trial.missed.Total));
    const QJsonArray perTank = json["missedPerTank"].toArray();
    ASSERT_EQ(perTank.size(), TankCount);
    for (int t = 0; t < TankCount; ++t) {
        const std::optional<int> replayed = perTank[t].isNull() ? std::nullopt : std::optional(perTank[t].toInt(-999));
        EXPECT_EQ(replayed, trial.missed.PerTank[t]) << "tank " << t;
    }
    EXPECT_EQ(json["busyTicks"].toDouble(), static_cast<double>(p.BusyPumpTicks));
    EXPECT_EQ(json["cleaningTicks"].toDouble(), static_cast<double>(p.SweepPumpTicks));
    EXPECT_EQ(json["idleTicks"].toDouble(), static_cast<double>(p.ElapsedTicks * PumpCount - p.BusyPumpTicks - p.SweepPumpTicks));
    EXPECT_EQ(json["busyShare"].toDouble(), trial.shares->BusyTime);
    EXPECT_EQ(json["cleaningShare"].toDouble(), trial.shares->SweepTime);
    EXPECT_EQ(json["idleShare"].toDouble(), trial.shares->IdleTime);

    // The text report carries the same figures.
    const CommandResult text = Run({"replay", db_, Path("p1.1")});
    ASSERT_EQ(text.status, ExitOk) << text.err;
    EXPECT_TRUE(Has(text.out, "end clock:       " + FormatClock(p.Clock) + " (the trial's end time)"));
    EXPECT_TRUE(Has(text.out, "missed buckets:  " + std::to_string(trial.missed.Total) + "\n"));
    EXPECT_TRUE(Has(text.out, "pump-ticks:      busy " + std::to_string(p.BusyPumpTicks) + ", cleaning " +
                                  std::to_string(p.SweepPumpTicks)));

    EXPECT_EQ(FilesInFolder(), files);
    EXPECT_EQ(Dump("Experiments") + Dump("UserData"), rows);
}

TEST_F(ReplayTest, ALogThatCannotBeReplayedIsAFailureNamingIt)
{
    ExpectFails({"replay", db_, Path("p9.1")}, Path("p9.1") + ": the trial log does not exist");
    WriteFile(Path("bad.1"), "0,0,\"ON\",3\r\nnot a state line\r\n");
    ExpectFails({"replay", db_, Path("bad.1")}, Path("bad.1") + ", line 2: not a state line");
}

TEST_F(ReplayTest, RescoreAgreesWithRowsOfTrialsRunThroughTheCore)
{
    RecordTrial("p1", 1, 31);
    RecordTrial("p1", 2, 32);
    RecordTrial("p2", 1, 33);  // another participant's trial is not looked at
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = -1 WHERE \"UserID\" = 'p2'");

    const CommandResult result = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(result.status, ExitOk) << result.out << result.err;
    EXPECT_TRUE(Has(result.out, "trial 1 (" + Path("p1.1") + "): agrees"));
    EXPECT_TRUE(Has(result.out, "trial 2 (" + Path("p1.2") + "): agrees"));
    EXPECT_TRUE(Has(result.out, "2 trials: 2 agree, 0 disagree"));
    EXPECT_EQ(result.out.find("MISMATCH"), std::string::npos);
    EXPECT_EQ(Run({"rescore", db_, "p1"}).out, result.out) << "without TRIAL every trial is rescored";

    ExpectFails({"rescore", db_, "p1", "3"}, "no row for User ID \"p1\", trial 3");

    // A missing log counts as a disagreement.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(Path("p1.2"))));
    const CommandResult missing = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(missing.status, ExitFailure);
    EXPECT_TRUE(Has(missing.out, "trial 2: MISMATCH: the log cannot be replayed: " + Path("p1.2")));
}

TEST_F(ReplayTest, RescoreMarksEachWrongFigure)
{
    RecordTrial("p1", 1, 41);
    const TrialOutcome second = RecordTrial("p1", 2, 42);
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = \"MissedBuckets\" + 1 WHERE \"Experiment\" = 2");

    const CommandResult result = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_TRUE(Has(result.out, "trial 1 (" + Path("p1.1") + "): agrees"));
    EXPECT_TRUE(Has(result.out, "trial 2 (" + Path("p1.2") + "): DISAGREES"));
    const std::string row = ReportLine(result.out, "MissedBuckets  " + std::to_string(second.missed.Total + 1));
    EXPECT_TRUE(Has(row, std::to_string(second.missed.Total)));
    EXPECT_TRUE(Has(row, "MISMATCH"));
    EXPECT_TRUE(Has(result.out, "2 trials: 1 agree, 1 disagree"));
    EXPECT_EQ(Run({"rescore", db_, "p1", "2"}).status, ExitFailure);

    // One trial's rescore looks at that trial only, and shares agree within one billionth.
    Sql("UPDATE \"Experiments\" SET \"BusyTime\" = \"BusyTime\" + 1e-12 WHERE \"Experiment\" = 1");
    const CommandResult one = Run({"rescore", db_, "p1", "1"});
    EXPECT_EQ(one.status, ExitOk) << one.out;
    EXPECT_TRUE(Has(one.out, "1 trial: 1 agree"));
    Sql("UPDATE \"Experiments\" SET \"SweepTime\" = \"SweepTime\" + 1e-6, \"IdleTime\" = 0.5 WHERE \"Experiment\" = 1");
    const CommandResult shares = Run({"rescore", db_, "p1", "1"});
    EXPECT_EQ(shares.status, ExitFailure);
    EXPECT_TRUE(Has(ReportLine(shares.out, "SweepTime"), "MISMATCH"));
    EXPECT_TRUE(Has(ReportLine(shares.out, "IdleTime"), "MISMATCH"));
    EXPECT_EQ(shares.out.find("BusyTime"), shares.out.rfind("BusyTime"));
}

TEST_F(ReplayTest, AnUnfinishedRowAgreesWithALogEndedByStop)
{
    RecordTrial("p1", 1, 81);
    RecordTrial("p1", 2, 82, /*completeRow=*/false);
    WriteStoppedLog("p1.2", "p1.2", 6);

    const CommandResult replay = Run({"replay", db_, Path("p1.2")});
    ASSERT_EQ(replay.status, ExitOk) << replay.err;
    EXPECT_TRUE(Has(replay.out, "stopped before the end time"));

    const CommandResult result = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(result.status, ExitOk) << result.out;
    EXPECT_TRUE(Has(result.out, "trial 2 (" + Path("p1.2") + "): agrees"));

    // A finished row whose log stops early does not.
    WriteStoppedLog("p1.1", "p1.1", 6);
    EXPECT_EQ(Run({"rescore", db_, "p1", "1"}).status, ExitFailure);
}

TEST(CompareWithReplay, EmptyCellsAgreeOnlyWithFiguresThatDoNotExist)
{
    ReplayOutcome replay;
    replay.trial.missed.Total = 12;
    replay.trial.shares = PumpShares{0.5, 0.25, 0.25};
    ExperimentRow row;
    row.MissedBuckets = 12;
    row.BusyTime = 0.5;
    row.SweepTime = 0.25;
    row.IdleTime = std::nullopt;  // emptied by hand

    const auto checks = CompareWithReplay(row, replay);
    ASSERT_EQ(checks.size(), 4u);
    EXPECT_TRUE(checks[0].agrees && checks[1].agrees && checks[2].agrees);
    EXPECT_EQ(checks[3].field, "IdleTime");
    EXPECT_FALSE(checks[3].agrees);
    EXPECT_EQ(checks[3].stored, "(empty)");

    replay.trial.shares.reset();  // no tick counted: the trial stores empty shares
    row.BusyTime = row.SweepTime = std::nullopt;
    for (const FieldCheck& check : CompareWithReplay(row, replay)) EXPECT_TRUE(check.agrees) << check.field;
}

}  // namespace
}  // namespace kestu::ctl::testing
