// The commands on recorded trials, run through the core: replay, rescore,
// log2csv, plot and baseline, and the calculations under them.
#include "ctl_fixture.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <ranges>
#include <set>

#include "analysis/baseline_runner.h"
#include "analysis/chart_scale.h"
#include "analysis/rescore_check.h"
#include "kestuctl/load_scenario.h"
#include "trials/trial_log.h"
#include "trials/trial_session.h"

namespace kestu::ctl::testing {
namespace {

using namespace analysis;

class TrialCommandTest : public CtlTest {
protected:
    // The line of a rescore report that starts with `field`.
    static std::string ReportLine(const std::string& report, const std::string& field)
    {
        const auto at = report.find(field);
        return at == std::string::npos ? "no line " + field : report.substr(at, report.find('\n', at) - at);
    }
};

TEST_F(TrialCommandTest, ReplayReportsWhatTheTrialScoredAndRescoreAgreesWithItsRowAndMarksEachWrongFigure)
{
    const TrialOutcome trial = RecordTrial("p1", 1, 31), second = RecordTrial("p1", 2, 32);
    RecordTrial("p2", 1, 33);
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
    for (const char* key : {"missedBuckets", "busyTicks", "cleaningTicks", "busyShare", "cleaningShare", "idleShare"})
        figures.push_back(json[key].toDouble());
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

    // rescore: another participant's trial is not looked at.
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = -1 WHERE \"UserID\" = 'p2'");

    const std::string agree = Ok({"rescore", db_, "p1", "--all"});
    EXPECT_TRUE(Has(agree, "trial 1 (" + Path("p1.1") + ", file): agrees"));
    EXPECT_TRUE(Has(agree, "2 trials: 2 agree, 0 disagree"));
    EXPECT_EQ(agree.find("MISMATCH"), std::string::npos);
    EXPECT_EQ(Ok({"rescore", db_, "p1"}), agree) << "without TRIAL every trial is rescored";
    ExpectFails({"rescore", db_, "p1", "3"}, "no row for User ID \"p1\", trial 3");

    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = \"MissedBuckets\" + 1 WHERE \"Experiment\" = 2");
    const CommandResult wrong = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(wrong.status, ExitFailure);
    EXPECT_TRUE(Has(wrong.out, "trial 2 (" + Path("p1.2") + ", file): DISAGREES"));
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

TEST_F(TrialCommandTest, EmptyCellsAgreeOnlyWithFiguresThatDoNotExistAndAnUnfinishedRowOnlyWithALogEndedByStop)
{
    RecordTrial("p1", 1, 81);
    RecordTrial("p1", 2, 82, /*completeRow=*/false);
    StopLogEarly("p1.2", 6);
    EXPECT_TRUE(Has(Ok({"replay", db_, Path("p1.2")}), "stopped before the end time"));
    EXPECT_TRUE(Has(Ok({"rescore", db_, "p1", "--all"}), "trial 2 (" + Path("p1.2") + ", file): agrees"));

    StopLogEarly("p1.1", 6);  // a finished row whose log stops early
    EXPECT_EQ(Run({"rescore", db_, "p1", "1"}).status, ExitFailure);

    // A cell emptied by hand disagrees; shares that do not exist agree with empty cells.
    ReplayOutcome replay;
    replay.trial.missed.Total = 12;
    replay.trial.shares = PumpShares{0.5, 0.25, 0.25};
    ExperimentRow row;
    row.MissedBuckets = 12;
    row.BusyTime = 0.5;
    row.SweepTime = 0.25;  // and IdleTime emptied by hand
    std::string checks;
    for (const FieldCheck& c : CompareWithReplay(row, replay)) checks += c.field + "=" + c.stored + (c.agrees ? " " : "! ");
    EXPECT_EQ(checks, "MissedBuckets=12 BusyTime=0.5 SweepTime=0.25 IdleTime=(empty)! ");

    replay.trial.shares.reset();  // no tick counted: the trial stores empty shares
    row.BusyTime = row.SweepTime = std::nullopt;
    for (const FieldCheck& check : CompareWithReplay(row, replay)) EXPECT_TRUE(check.agrees) << check.field;
}

// rescore pairs each row with one log by its whole trial number; what does not pair up disagrees.
TEST_F(TrialCommandTest, RowsAndLogsThatDoNotPairUpAreEachReported)
{
    const auto count = [](const std::string& text, const std::string& part) {
        return std::ranges::distance(text | std::views::split(part)) - 1;
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
    EXPECT_EQ(count(all.out, "trial 2 (" + Path("p1.2") + ", file): agrees"), 2) << "each of the two rows is rescored";
    EXPECT_TRUE(Has(all.out, "trial 2: MISMATCH: 2 rows of User ID \"p1\" have this trial number"));
    EXPECT_TRUE(Has(all.out, "log " + Path("p1.1") + ": MISMATCH: no row of User ID \"p1\" has trial number 1\n"));
    EXPECT_TRUE(Has(all.out, "log " + Path("p1.7") + ": MISMATCH: no row of User ID \"p1\" has trial number 7\n"));
    EXPECT_EQ(count(all.out, "\nlog "), 2) << all.out;
    EXPECT_TRUE(Has(all.out, "3 trials: 2 agree, 1 disagree, 0 incomplete (no result stored); 1 trial number on several rows; 2 logs without a row\n"));

    // One trial: its own rows only, and the whole number reaches it.
    const CommandResult big = Run({"rescore", db_, "p1", "4294967297"});
    EXPECT_EQ(big.status, ExitFailure);
    EXPECT_TRUE(Has(big.out, "trial 4294967297: MISMATCH"));
    EXPECT_EQ(count(big.out, "\nlog "), 0) << "logs without a row are looked for only with every trial";
    const CommandResult shared = Run({"rescore", db_, "p1", "2"});
    EXPECT_EQ(shared.status, ExitFailure);
    EXPECT_TRUE(Has(shared.out, "trial 2: MISMATCH: 2 rows"));
    EXPECT_TRUE(Has(shared.out, "2 trials: 2 agree, 0 disagree, 0 incomplete (no result stored); 1 trial number on several rows\n"));

    // A number past 64 bits is refused, not wrapped around to a small one.
    const CommandResult huge = Run({"rescore", db_, "p1", "18446744073709551617"});
    EXPECT_EQ(huge.status, ExitUsage);
    EXPECT_TRUE(Has(huge.err, "TRIAL is a trial number"));
}

// The PNG plot writes of a log, read back.
QImage Plot(const std::vector<std::string>& args)
{
    const std::string png = args[3];
    QFile::remove(Q(png));
    EXPECT_EQ(RunCtl(args).status, ExitOk);
    return QImage(Q(png));
}

// A two-record log written by the trial log's own writer functions.
std::string SmallLog()
{
    PlantState plant;
    for (int t = 0; t < TankCount; ++t) plant.Tanks[t].Water = t + 0.46;  // written as t.5
    plant.PumpState[17] = 1;
    std::string text;
    AppendHeaderLine(text, {5, 23}, "ON", 17);
    AppendStateLine(text, plant);
    plant.Tanks[0].Water = 0.04;   // written as 0
    plant.Tanks[22].Water = 0.46;  // written as .5
    plant.PumpState[17] = -3;
    AppendHeaderLine(text, {61, 0}, "STOP", 0);
    AppendStateLine(text, plant);
    return text;
}

TEST_F(TrialCommandTest, Log2csvShowsEveryTankPlotNeedsTheScenarioAndFailuresNameTheFile)
{
    const std::string good = SmallLog();
    WriteFile(Path("u.1"), good);
    const std::vector<std::string> lines = Rows(Ok({"log2csv", Path("u.1")}));
    ASSERT_EQ(lines.size(), 1u + 2 * TankCount);
    EXPECT_EQ(lines[0] + " " + lines[1] + " " + lines[4] + " " + lines[23] + " " + lines[24] + " " + lines[46],
              "minute,second,kind,switch,tank,water 5,23,ON,17,0,0.5 5,23,ON,17,3,3.5 5,23,ON,17,22,22.5 "
              "61,0,STOP,0,0,0 61,0,STOP,0,22,0.5");

    // The reader's own words (tests/trials has every fault), with the file's name.
    std::string kind = good, water = good;
    kind.replace(kind.find(",\"STOP\","), 8, ",\"HALT\",");
    water.replace(water.find(",2,0,1.5,", water.find("\r\n") + 2), 9, ",2,0,x.5,");  // the first state line's tank 1
    WriteFile(Path("bad.1"), kind);
    ExpectFails({"log2csv", Path("bad.1")}, Path("bad.1") + ", line 3: field 3 (kind): \"HALT\" is none of");
    WriteFile(Path("bad.1"), water);
    ExpectFails({"log2csv", Path("bad.1")}, Path("bad.1") + ", line 2: field 9 (water of switch 2): \"x.5\" is not a number");
    ExpectFails({"log2csv", Path("none.1")}, Path("none.1") + ": the trial log does not exist");

    // plot replays the log, so it needs the scenario: from --db or the database beside the log.
    RecordTrial("p1", 1, 4);
    ASSERT_TRUE(QDir().mkpath(Q(Path("logs"))));
    const std::string elsewhere = Path("logs/p1.1"), png = Path("chart.png");
    ASSERT_TRUE(QFile::copy(Q(Path("p1.1")), Q(elsewhere)));
    ExpectFails({"plot", elsewhere, "--png", png}, NoDatabaseForLog);
    EXPECT_FALSE(QFile::exists(Q(png)));
    EXPECT_EQ(Plot({"plot", elsewhere, "--png", png, "--db", db_}).size(), QSize(1600, 900));
    EXPECT_FALSE(Plot({"plot", Path("p1.1"), "--png", png}).isNull());

    WriteFile(Path("bad.1"), "0,0,\"ON\"\r\n");
    ExpectFails({"plot", Path("bad.1"), "--png", Path("x.png")}, Path("bad.1") + ", line 1: not a record header");
    const std::string unwritable = Path("no/folder/x.png");
    ExpectFails({"plot", Path("p1.1"), "--png", unwritable}, unwritable + ": cannot be written");

    // The axes: ticks are round and cover the range.
    EXPECT_EQ(NiceTicks(0, 143, 8), (std::vector<double>{0, 20, 40, 60, 80, 100, 120, 140, 160}));
    EXPECT_EQ(NiceTicks(0, 1, 5), (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1}));
    EXPECT_EQ(NiceTicks(0, 0.03, 3), (std::vector<double>{0, 0.01, 0.02, 0.03}));
    const auto negative = NiceTicks(-3, 48, 5);
    EXPECT_TRUE(negative.front() <= -3 && negative.back() >= 48 && negative[1] - negative[0] == 20);

    // Clock ticks fall on whole seconds or minutes.
    const auto eight = ClockTicks(480, 12), two = ClockTicks(7200, 12);
    EXPECT_EQ(std::vector<int>({eight.front(), eight[1], eight.back()}), std::vector<int>({0, 60, 480}));
    EXPECT_EQ(ClockTicks(50, 12)[1], 5);
    EXPECT_TRUE(two[1] == 600 && two.back() >= 7200);
}


TEST_F(TrialCommandTest, TheSameSeedGivesTheSameReportForAnyNumberOfJobsAndWritesNothing)
{
    const QStringList files = FilesInFolder();
    const std::string rows = Dump("Experiments") + Dump("UserData");
    const std::string one = Ok({"baseline", db_, "--trials", "40", "--seed", "7", "--jobs", "1"});
    for (const char* jobs : {"2", "3", "8"}) EXPECT_EQ(Ok({"baseline", db_, "--trials", "40", "--seed", "7", "--jobs", jobs}), one);
    EXPECT_NE(Ok({"baseline", db_, "--trials", "40", "--seed", "8", "--jobs", "2"}), one);
    // The distribution of each figure.
    for (const char* part : {"Random method, 40 trials", "mean", "sd", "min", "q1", "median", "q3", "max",
                             "\nmissed buckets ", "\nbusy share ", "\ncleaning share ", "\nidle share "}) {
        EXPECT_TRUE(Has(one, part));
    }
    EXPECT_EQ(FilesInFolder(), files);
    EXPECT_EQ(Dump("Experiments") + Dump("UserData"), rows);

    // Each trial has its own seed.
    std::set<long long> distinct;
    for (const BaselineTrial& trial : RunBaseline(Scenario(), 6, 99, 2)) distinct.insert(trial.missedBuckets);
    EXPECT_GT(distinct.size(), 1u);

    Sql("DELETE FROM \"deadline\"");  // a scenario the program refuses
    ExpectFails({"baseline", db_, "--trials", "5"}, "table \"deadline\" has no rows");
}

}  // namespace
}  // namespace kestu::ctl::testing

namespace kestu::ctl::testing {
namespace {

using namespace analysis;

// A trial cut off with no STOP (the program died, or a record could not be
// written) is replayed to its last record and no further, by every command.
TEST_F(TrialCommandTest, ATrialCutOffWithoutStopEndsAtItsLastRecordEverywhereAndRescoresAsIncomplete)
{
    const TrialOutcome whole = RecordTrial("p1", 1, 91, /*completeRow=*/false);
    RecordTrial("p1", 2, 92);
    const ClockTime cut = CutLog("p1.1", 20);
    ASSERT_LT(cut, whole.plant.Clock) << "the cut falls before the end time";
    ASSERT_GT(cut, (ClockTime{0, 0}));

    // The core: ended at the last record's clock, flagged as cut off, not as stopped.
    const ReplayOutcome replay = ReplayLogFile(Scenario(), Path("p1.1"), dir_.path().toStdString());
    ASSERT_FALSE(replay.fault.has_value());
    EXPECT_FALSE(replay.endedByStop);
    ASSERT_TRUE(replay.cutOffAt.has_value());
    EXPECT_EQ(*replay.cutOffAt, cut);
    EXPECT_EQ(replay.trial.plant.Clock, cut);
    EXPECT_LT(replay.trial.ticks, whole.ticks);

    // The window's replay console, driven as its buttons drive it, ends there too.
    {
        MemoryStore store(Scenario());
        ParticipantState participant;
        participant.UserID = "p1";
        participant.ReplayMode = true;
        QTemporaryDir program;
        ASSERT_TRUE(QFile::copy(Q(Path("p1.1")), program.filePath("p1.1")));
        TrialSession session(participant, store, program.path().toStdString());
        ASSERT_TRUE(session.trial.LoadPlant());
        session.replay.selection = 1;
        session.replay.Load();
        ASSERT_TRUE(session.controls().PlayEnabled);
        session.replay.Play();
        for (int ticks = 0; session.Ticking() && ticks < 100000; ++ticks) session.Tick();
        EXPECT_EQ(session.runEnd, RunEnd::LogCutOff);
        EXPECT_EQ(session.plant().Clock, cut);
        EXPECT_FALSE(session.controls().PlayEnabled);
        EXPECT_TRUE(session.controls().StopEnabled) << "Stop loads the trial again";
    }

    // replay says so in place of the end time.
    const std::string text = Ok({"replay", db_, Path("p1.1")});
    EXPECT_TRUE(Has(text, "end clock:       " + FormatClock(cut) + " (the trial was cut off here"));
    EXPECT_EQ(text.find("the trial's end time"), std::string::npos) << text;
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(Ok({"replay", db_, Path("p1.1"), "--json"}))).object();
    EXPECT_TRUE(json["cutOff"].toBool());
    EXPECT_FALSE(json["endedByStop"].toBool());
    EXPECT_EQ(json["endClock"].toString().toStdString(), FormatClock(cut));

    // log2csv --every-tick (and so plot, which draws the same series) stops there.
    const std::vector<std::string> rows = Rows(Ok({"log2csv", Path("p1.1"), "--every-tick"}));
    ASSERT_EQ(rows.size(), 1 + TankCount * static_cast<std::size_t>(replay.trial.ticks + 1));
    EXPECT_TRUE(rows.back().starts_with(std::to_string(replay.trial.ticks) + "," + std::to_string(cut.Minutes) + "," +
                                        std::to_string(cut.Seconds) + ","))
        << rows.back();

    // rescore: the empty row of a cut-off trial is incomplete, not a disagreement.
    const CommandResult incomplete = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(incomplete.status, ExitOk) << incomplete.out;
    EXPECT_TRUE(Has(incomplete.out, "trial 1 (" + Path("p1.1") + ", file): INCOMPLETE: cut off at " + FormatClock(cut)));
    EXPECT_EQ(incomplete.out.find("DISAGREES"), std::string::npos) << incomplete.out;
    EXPECT_TRUE(Has(incomplete.out, "2 trials: 1 agree, 0 disagree, 1 incomplete (no result stored)\n"));
    EXPECT_TRUE(Has(ReportLine(incomplete.out, "result "), "cut off at " + FormatClock(cut)));
    EXPECT_TRUE(ReportLine(incomplete.out, "result ").ends_with("ok")) << incomplete.out;

    // Only a real disagreement makes the status 1, and the cut-off row stays incomplete.
    Sql("UPDATE \"Experiments\" SET \"BusyTime\" = \"BusyTime\" + 0.5 WHERE \"Experiment\" = 2");
    const CommandResult both = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(both.status, ExitFailure);
    EXPECT_TRUE(Has(both.out, "trial 1 (" + Path("p1.1") + ", file): INCOMPLETE"));
    EXPECT_TRUE(Has(both.out, "2 trials: 0 agree, 1 disagree, 1 incomplete (no result stored)\n"));

    // A row holding results whose log is cut off disagrees.
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = 3 WHERE \"Experiment\" = 1");
    const CommandResult withResult = Run({"rescore", db_, "p1", "1"});
    EXPECT_EQ(withResult.status, ExitFailure);
    EXPECT_TRUE(Has(withResult.out, "trial 1 (" + Path("p1.1") + ", file): DISAGREES"));
    EXPECT_TRUE(Has(ReportLine(withResult.out, "end "), "cut off at " + FormatClock(cut)));
}

// A trial that reached its end but whose results were never stored (the
// program died in between) is incomplete, not a disagreement, and its
// replayed figures are shown so they can be recovered.
TEST_F(TrialCommandTest, AWholeLogWhoseRowHoldsNoResultIsIncompleteAndShowsTheReplayedFigures)
{
    const TrialOutcome whole = RecordTrial("p1", 1, 94, /*completeRow=*/false);
    const CommandResult rescored = Run({"rescore", db_, "p1", "--all"});
    EXPECT_EQ(rescored.status, ExitOk) << rescored.out;
    EXPECT_TRUE(Has(rescored.out, "trial 1 (" + Path("p1.1") + ", file): INCOMPLETE: the log reaches the end at " +
                                      FormatClock(whole.plant.Clock)))
        << rescored.out;
    EXPECT_TRUE(Has(ReportLine(rescored.out, "MissedBuckets "), std::to_string(whole.missed.Total))) << rescored.out;
    EXPECT_TRUE(Has(rescored.out, "1 trial: 0 agree, 0 disagree, 1 incomplete (no result stored)\n")) << rescored.out;

    // With a result that differs it is a disagreement as before.
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = " + std::to_string(whole.missed.Total + 1));
    EXPECT_EQ(Run({"rescore", db_, "p1", "--all"}).status, ExitFailure);
}

// A log cut off during the setup, before anything was played, ends there.
TEST_F(TrialCommandTest, ALogCutOffAtItsSetupTimeIsNotPlayedOn)
{
    RecordTrial("p1", 1, 93, /*completeRow=*/false);
    const std::vector<std::string> lines = Rows(ReadFile(Path("p1.1")));
    const std::string first = lines.at(0);
    WriteFile(Path("p1.1"), "0,0" + first.substr(first.find(",\"")) + "\r\n" + lines.at(1) + "\r\n");

    const ReplayOutcome replay = ReplayLogFile(Scenario(), Path("p1.1"), dir_.path().toStdString());
    ASSERT_FALSE(replay.fault.has_value());
    ASSERT_TRUE(replay.cutOffAt.has_value());
    EXPECT_EQ(*replay.cutOffAt, (ClockTime{0, 0}));
    EXPECT_EQ(replay.trial.ticks, 0);
    EXPECT_TRUE(Has(Ok({"rescore", db_, "p1", "1"}), "INCOMPLETE: cut off at 00:00"));
}

// A study copied into one file in another folder is re-scored from the logs
// its table TrialLogs keeps, and rescore and replay say they read them there.
TEST_F(TrialCommandTest, AStudyCopiedIntoOneFileIsRescoredFromItsStoredLogs)
{
    for (const char* seed : {"11", "12", "13"}) Ok({"run-trial", db_, "kim", "--seed", seed});
    // The third trial cut off: its row is emptied, its stored copy cut short.
    const ClockTime cut = CutLog("kim.3", 25);
    Sql("UPDATE \"Experiments\" SET \"EndTime\" = NULL, \"MissedBuckets\" = NULL, \"BusyTime\" = NULL, "
        "\"SweepTime\" = NULL, \"IdleTime\" = NULL WHERE \"Experiment\" = 3");
    Sql("UPDATE \"TrialLogs\" SET \"Bytes\" = x'" + QByteArray::fromStdString(ReadFile(Path("kim.3"))).toHex().toStdString() +
        "' WHERE \"Experiment\" = 3");

    ASSERT_TRUE(QDir(dir_.path()).mkdir("elsewhere"));
    const std::string backup = Path("elsewhere/backup.MDB");
    Ok({"copy-db", db_, backup});
    const CommandResult rescored = Run({"rescore", backup, "kim", "--all"});
    EXPECT_EQ(rescored.status, ExitOk) << rescored.out << rescored.err;
    for (const char* trial : {"1", "2"})
        EXPECT_TRUE(Has(rescored.out, std::string("trial ") + trial + " (table TrialLogs, database): agrees"));
    EXPECT_TRUE(Has(rescored.out, "trial 3 (table TrialLogs, database): INCOMPLETE: cut off at " + FormatClock(cut)));
    EXPECT_TRUE(Has(rescored.out, "3 trials: 2 agree, 0 disagree, 1 incomplete (no result stored)\n"));
    EXPECT_TRUE(Has(rescored.err, "kestuctl: database " + backup + " (SQLite file)\n"));

    // A log beside the copy is read from its file, and the report says so.
    std::filesystem::copy_file(Path("kim.2"), Path("elsewhere/kim.2"));
    EXPECT_TRUE(Has(Ok({"rescore", backup, "kim", "2"}), "trial 2 (" + Path("elsewhere/kim.2") + ", file): agrees"));

    // replay by the log's name: the file when it is there, else the stored copy.
    const std::string stored = Ok({"replay", backup, Path("elsewhere/kim.1")});
    EXPECT_TRUE(Has(stored, "log:             " + Path("elsewhere/kim.1") + " (the copy in table TrialLogs of the database)\n"));
    const auto figures = [](const std::string& report) { return report.substr(report.find('\n')); };
    EXPECT_EQ(figures(stored), figures(Ok({"replay", db_, Path("kim.1")})));
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(Ok({"replay", backup, Path("elsewhere/kim.1"), "--json"}))).object();
    EXPECT_EQ(json["logSource"].toString(), "database");
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(Ok({"replay", backup, Path("elsewhere/kim.2"), "--json"})))
                  .object()["logSource"].toString(), "file");
    ExpectFails({"replay", backup, Path("elsewhere/kim.9")}, "nor does table \"TrialLogs\" of " + backup + " hold trial 9");
}

// A result cell holding text is no figure: it never agrees with a replayed 0.
TEST_F(TrialCommandTest, ATextResultCellNeverAgreesWithAReplayedZero)
{
    // Each tank is asked for what the trial's clicks leave in it, so the trial misses 0.
    Sql("UPDATE \"deadline\" SET \"ExpectAmt\" = 0");
    const TrialOutcome probe = RunHeadlessTrial(Scenario(), HeadlessOptions{.seed = 94});
    for (int t = 0; t < TankCount; ++t) {
        if (probe.missed.PerTank[t])
            Sql("UPDATE \"deadline\" SET \"ExpectAmt\" = " + std::to_string(-*probe.missed.PerTank[t]) +
                " WHERE \"TankNum\" = " + std::to_string(t));
    }
    const TrialOutcome trial = RecordTrial("p1", 1, 94);
    ASSERT_EQ(trial.missed.Total, 0);
    EXPECT_TRUE(Has(Ok({"rescore", db_, "p1", "1"}), "agrees"));

    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = 'n/a'");
    const CommandResult text = Run({"rescore", db_, "p1", "1"});
    EXPECT_EQ(text.status, ExitFailure) << text.out;
    EXPECT_EQ(text.out.find("agrees"), std::string::npos) << text.out;
    EXPECT_TRUE(Has(ReportLine(text.out, "MissedBuckets"), "(empty)"));
}

}  // namespace
}  // namespace kestu::ctl::testing
