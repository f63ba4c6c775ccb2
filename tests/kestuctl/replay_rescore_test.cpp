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
        const std::string text = ReadFile(Path(from));
        std::vector<std::string> lines;
        for (std::size_t start = 0; start < text.size();) {
            const auto end = text.find("\r\n", start);
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        ASSERT_GT(lines.size(), 2 * records) << "the trial has more records than are kept";
        lines.resize(2 * records);
        const std::string& header = lines[2 * records - 2];
        lines.push_back(header.substr(0, header.find(",\"")) + ",\"STOP\",0");
        lines.push_back(lines[2 * records - 1]);
        std::string cut;
        for (const std::string& line : lines) cut += line + "\r\n";
        WriteFile(Path(to), cut);
    }
};

TEST_F(ReplayTest, ReplayScoresWhatTheTrialScored)
{
    const TrialOutcome trial = RecordTrial("p1", 1, 11);
    ASSERT_TRUE(trial.shares);
    const CommandResult result = Run({"replay", db_, Path("p1.1"), "--json"});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(result.out)).object();
    ASSERT_FALSE(json.isEmpty()) << result.out;

    const PlantState& p = trial.plant;
    EXPECT_EQ(json["endClock"].toString().toStdString(), FormatClock(p.SimMinutes, p.SimSeconds));
    EXPECT_FALSE(json["endedByStop"].toBool());
    EXPECT_EQ(json["missedBuckets"].toDouble(), static_cast<double>(trial.missed.Total));
    const QJsonArray perTank = json["missedPerTank"].toArray();
    ASSERT_EQ(perTank.size(), TankCount);
    for (int t = 0; t < TankCount; ++t) {
        if (trial.missed.PerTank[t]) {
            EXPECT_EQ(perTank[t].toInt(-999), *trial.missed.PerTank[t]) << "tank " << t;
        } else {
            EXPECT_TRUE(perTank[t].isNull()) << "tank " << t;
        }
    }
    EXPECT_EQ(json["busyTicks"].toDouble(), static_cast<double>(p.BusyPumpTicks));
    EXPECT_EQ(json["cleaningTicks"].toDouble(), static_cast<double>(p.SweepPumpTicks));
    EXPECT_EQ(json["idleTicks"].toDouble(), static_cast<double>(p.ElapsedTicks * PumpCount - p.BusyPumpTicks - p.SweepPumpTicks));
    EXPECT_EQ(json["busyShare"].toDouble(), trial.shares->BusyTime);
    EXPECT_EQ(json["cleaningShare"].toDouble(), trial.shares->SweepTime);
    EXPECT_EQ(json["idleShare"].toDouble(), trial.shares->IdleTime);
}

TEST_F(ReplayTest, TextReportCarriesTheSameFigures)
{
    const TrialOutcome trial = RecordTrial("p1", 1, 12);
    const CommandResult result = Run({"replay", db_, Path("p1.1")});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    const PlantState& p = trial.plant;
    EXPECT_NE(result.out.find("end clock:       " + FormatClock(p.SimMinutes, p.SimSeconds) + " (the trial's end time)"),
              std::string::npos) << result.out;
    EXPECT_NE(result.out.find("missed buckets:  " + std::to_string(trial.missed.Total) + "\n"), std::string::npos);
    EXPECT_NE(result.out.find("pump-ticks:      busy " + std::to_string(p.BusyPumpTicks) + ", cleaning " +
                              std::to_string(p.SweepPumpTicks)),
              std::string::npos) << result.out;
}

TEST_F(ReplayTest, ReplayWritesNothingBesideTheLogOrTheDatabase)
{
    RecordTrial("p1", 1, 13);
    const QStringList before = FilesInFolder();
    const std::string rows = Dump("Experiments") + Dump("UserData");
    ASSERT_EQ(Run({"replay", db_, Path("p1.1")}).status, ExitOk);
    EXPECT_EQ(FilesInFolder(), before);
    EXPECT_EQ(Dump("Experiments") + Dump("UserData"), rows);
}

TEST_F(ReplayTest, ALogThatCannotBeReplayedIsAFailureNamingIt)
{
    const CommandResult missing = Run({"replay", db_, Path("p9.1")});
    EXPECT_EQ(missing.status, ExitFailure);
    EXPECT_NE(missing.err.find(Path("p9.1") + ": the trial log does not exist"), std::string::npos) << missing.err;

    WriteFile(Path("bad.1"), "0,0,\"ON\",3\r\nnot a state line\r\n");
    const CommandResult bad = Run({"replay", db_, Path("bad.1")});
    EXPECT_EQ(bad.status, ExitFailure);
    EXPECT_NE(bad.err.find(Path("bad.1") + ":2: not a state line"), std::string::npos) << bad.err;
}

TEST_F(ReplayTest, RescoreAgreesWithRowsOfTrialsRunThroughTheCore)
{
    RecordTrial("p1", 1, 31);
    RecordTrial("p1", 2, 32);
    RecordTrial("p2", 1, 33);  // another participant's trial is not looked at
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = -1 WHERE \"UserID\" = 'p2'");

    const CommandResult result = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(result.status, ExitOk) << result.out << result.err;
    EXPECT_NE(result.out.find("trial 1 (" + Path("p1.1") + "): agrees"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("trial 2 (" + Path("p1.2") + "): agrees"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("2 trials: 2 agree, 0 disagree"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("MISMATCH"), std::string::npos);
    EXPECT_EQ(Run({"rescore", db_, "p1"}).out, result.out) << "without TRIAL every trial is rescored";
}

TEST_F(ReplayTest, RescoreMarksAWrongMissedBucketCount)
{
    RecordTrial("p1", 1, 41);
    const TrialOutcome second = RecordTrial("p1", 2, 42);
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = \"MissedBuckets\" + 1 WHERE \"Experiment\" = 2");

    const CommandResult result = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.out.find("trial 1 (" + Path("p1.1") + "): agrees"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("trial 2 (" + Path("p1.2") + "): DISAGREES"), std::string::npos) << result.out;
    const std::string stored = std::to_string(second.missed.Total + 1);
    const std::string replayed = std::to_string(second.missed.Total);
    const auto line = result.out.find("MissedBuckets  " + stored);
    ASSERT_NE(line, std::string::npos) << result.out;
    const std::string row = result.out.substr(line, result.out.find('\n', line) - line);
    EXPECT_NE(row.find(replayed), std::string::npos) << row;
    EXPECT_NE(row.find("MISMATCH"), std::string::npos) << row;
    EXPECT_NE(result.out.find("2 trials: 1 agree, 1 disagree"), std::string::npos);
}

TEST_F(ReplayTest, RescoreComparesSharesWithinOneBillionth)
{
    RecordTrial("p1", 1, 51);
    Sql("UPDATE \"Experiments\" SET \"BusyTime\" = \"BusyTime\" + 1e-12");
    EXPECT_EQ(Run({"rescore", db_, "p1", "1"}).status, ExitOk);

    Sql("UPDATE \"Experiments\" SET \"SweepTime\" = \"SweepTime\" + 1e-6");
    const CommandResult result = Run({"rescore", db_, "p1", "1"});
    EXPECT_EQ(result.status, ExitFailure);
    const auto line = result.out.find("SweepTime");
    ASSERT_NE(line, std::string::npos) << result.out;
    EXPECT_NE(result.out.substr(line, result.out.find('\n', line) - line).find("MISMATCH"), std::string::npos);
    EXPECT_EQ(result.out.find("BusyTime"), result.out.rfind("BusyTime"));
}

TEST_F(ReplayTest, RescoreOfOneTrialLooksAtThatTrialOnly)
{
    RecordTrial("p1", 1, 61);
    RecordTrial("p1", 2, 62);
    Sql("UPDATE \"Experiments\" SET \"IdleTime\" = 0.5 WHERE \"Experiment\" = 2");
    const CommandResult first = Run({"rescore", db_, "p1", "1"});
    EXPECT_EQ(first.status, ExitOk) << first.out;
    EXPECT_NE(first.out.find("1 trial: 1 agree"), std::string::npos) << first.out;
    EXPECT_EQ(Run({"rescore", db_, "p1", "2"}).status, ExitFailure);
    const CommandResult none = Run({"rescore", db_, "p1", "3"});
    EXPECT_EQ(none.status, ExitFailure);
    EXPECT_NE(none.err.find("no row for User ID \"p1\", trial 3"), std::string::npos) << none.err;
}

TEST_F(ReplayTest, RescoreCountsAMissingLogAsADisagreement)
{
    RecordTrial("p1", 1, 71);
    RecordTrial("p1", 2, 72);
    ASSERT_TRUE(QFile::remove(QString::fromStdString(Path("p1.2"))));
    const CommandResult result = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(result.status, ExitFailure);
    EXPECT_NE(result.out.find("trial 2: MISMATCH: the log cannot be replayed: " + Path("p1.2")), std::string::npos)
        << result.out;
}

TEST_F(ReplayTest, AnUnfinishedRowAgreesWithALogEndedByStop)
{
    RecordTrial("p1", 1, 81);
    RecordTrial("p1", 2, 82, /*completeRow=*/false);
    WriteStoppedLog("p1.2", "p1.2", 6);

    const CommandResult replay = Run({"replay", db_, Path("p1.2")});
    ASSERT_EQ(replay.status, ExitOk) << replay.err;
    EXPECT_NE(replay.out.find("stopped before the end time"), std::string::npos) << replay.out;

    const CommandResult result = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(result.status, ExitOk) << result.out;
    EXPECT_NE(result.out.find("trial 2 (" + Path("p1.2") + "): agrees"), std::string::npos) << result.out;

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
