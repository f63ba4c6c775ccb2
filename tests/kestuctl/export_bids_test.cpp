// kestuctl export-bids: each run's events against its trial log and against
// the live trial's own events, the participants' labels, the trial's speed,
// and the output folder: refused, replaced whole, or left as it was.
#include "kestuctl/ctl_fixture.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <filesystem>
#include <map>

#include "analysis/bids_events.h"
#include "analysis/bids_files.h"
#include "analysis/logged_trial.h"
#include "conformance/case_runner.h"
#include "trials/failing_sink.h"

namespace kestu::ctl::testing {
namespace {

using namespace analysis;
namespace fs = std::filesystem;

std::string ReadText(const std::string& path)
{
    return std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {});
}

std::vector<std::vector<std::string>> TsvRows(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            cells.push_back(line.substr(start, tab - start));
        cells.push_back(line.substr(start));
        rows.push_back(cells);
    }
    return rows;
}

// ---- A reference trial's events against its log -----------------------------

struct ReferenceTrial {
    ScenarioTables tables;
    std::vector<conformance::ScriptEvent> script;
    TrialLogText log;
    QJsonObject results;
};

// A reference trial with the figures its log replays to.
ReferenceTrial LoadReference(const std::string& name)
{
    ReferenceTrial trial;
    const std::string dir = std::string(KESTU_CONFORMANCE_DIR) + "/" + name;
    EXPECT_EQ(conformance::LoadCase(dir, trial.tables, trial.script), "");
    trial.log = {name + "/U.1", ReadText(dir + "/U.1")};
    trial.results = QJsonDocument::fromJson(QByteArray::fromStdString(ReadText(dir + "/replay_results.json"))).object();
    return trial;
}

bool IsRecordEvent(const BidsEvent& e)
{
    return e.type == BidsEventType::Click || e.type == BidsEventType::SnapshotSaved ||
           e.type == BidsEventType::SnapshotRestored || e.type == BidsEventType::Ended ||
           e.type == BidsEventType::Stopped;
}

TEST(BidsEventsTest, EveryClickSnapshotAndDeadlineOfAReferenceTrialInOrderWithItsClockAndOnset)
{
    // A trial with two snapshots saved, one restore and its end.
    const ReferenceTrial ref = LoadReference("case_0203");
    auto replayed = BidsEventsOfLog(ref.tables, ref.log);
    ASSERT_TRUE(replayed.ok()) << replayed.error();
    const std::vector<BidsEvent>& events = replayed.value();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front().type, BidsEventType::SetUp);

    // Every record of the log, in order, with the event it stands for.
    TrialLogReader log;
    ASSERT_TRUE(log.OpenText(ref.log.name, ref.log.text).ok());
    std::vector<BidsEvent> recorded;
    std::copy_if(events.begin(), events.end(), std::back_inserter(recorded), IsRecordEvent);
    ASSERT_EQ(recorded.size(), log.RecordCount());
    ClockTime from = ref.tables.exogenous.front().At, held;
    long long fromTick = 0;
    int saves = 0, restores = 0;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i + 1));
        const LogRecord record = log.ReadLogRecord();
        const BidsEvent& e = recorded[i];
        // The tick as the log implies it: seconds since the setup, counted on across a restore.
        const long long tick = fromTick + record.At.TotalSeconds() - from.TotalSeconds();
        EXPECT_EQ(e.clock, record.At);
        EXPECT_EQ(e.tick, tick);
        EXPECT_EQ(OnsetSeconds(e.tick, 1937), OnsetSeconds(tick, 1937));
        switch (record.Kind) {
        case LogKind::Save:
            EXPECT_EQ(e.type, BidsEventType::SnapshotSaved);
            held = record.At;
            ++saves;
            break;
        case LogKind::Restore:
            EXPECT_EQ(e.type, BidsEventType::SnapshotRestored);
            ASSERT_TRUE(e.restoredTo.has_value());
            EXPECT_EQ(*e.restoredTo, held);
            from = held;
            fromTick = tick;
            ++restores;
            break;
        case LogKind::Stop:
            // The last record: on the end time the trial ended there.
            EXPECT_EQ(e.type, BidsEventType::Ended);
            break;
        default:
            EXPECT_EQ(e.type, BidsEventType::Click);
            EXPECT_EQ(e.switchNum, record.Switch);
            EXPECT_EQ(e.tank, TankOf(record.Switch));
            ASSERT_TRUE(e.status.has_value());
            EXPECT_EQ(KindOf(*e.status), record.Kind);
        }
    }
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(restores, 1);

    // Each scheduled deadline is judged on its own time and books what its
    // tank still owes; the tanks' last judgements are the trial's figures.
    std::map<int, ClockTime> due;
    for (const DeadlineRow& row : ref.tables.deadline) due[row.TankNum] = row.At;
    std::map<int, long long> lastMissed;
    long long total = 0;
    for (const BidsEvent& e : events) {
        if (e.type == BidsEventType::SnapshotRestored) total = e.missedTotal;
        if (e.type != BidsEventType::Deadline) continue;
        ASSERT_TRUE(e.tank && e.owed && e.missed);
        if (due.count(*e.tank) != 0) {
            EXPECT_EQ(e.clock, due[*e.tank]) << "tank " << *e.tank;
        }
        EXPECT_EQ(*e.missed, *e.owed);
        total += *e.missed;
        EXPECT_EQ(e.missedTotal, total);
        lastMissed[*e.tank] = *e.missed;
    }
    EXPECT_EQ(total, ref.results["MissedBuckets"].toInteger());
    const QJsonArray perTank = ref.results["MissedPerTank"].toArray();
    int scheduled = 0;
    for (int tank = 0; tank < TankCount; ++tank) {
        if (perTank[tank].isNull()) continue;
        ++scheduled;
        ASSERT_EQ(lastMissed.count(tank), 1u) << "tank " << tank << " was judged";
        EXPECT_EQ(lastMissed[tank], perTank[tank].toInteger()) << "tank " << tank;
    }
    EXPECT_GT(scheduled, 3);
    EXPECT_EQ(events.back().type, BidsEventType::Ended);
}

// What the export reads from the log is what the live trial told its observers.
class LiveEventsTest : public ::testing::TestWithParam<std::string> {};

TEST_P(LiveEventsTest, TheRunIsTheSameFactsAsTheLiveTrialsEvents)
{
    const ReferenceTrial ref = LoadReference(GetParam());
    std::vector<BidsEvent> live;
    CallbackObserver watch([&](const TrialEvent& event) {
        if (auto row = BidsEventOf(event)) live.push_back(*row);
    });
    QTemporaryDir work;
    const auto out = conformance::RunCase(ref.tables, ref.script, work.path().toStdString(), &watch);
    ASSERT_EQ(out.trialLog, ref.log.text) << "the reference trial runs as recorded";
    auto replayed = BidsEventsOfLog(ref.tables, ref.log);
    ASSERT_TRUE(replayed.ok()) << replayed.error();
    // A click between the start and the first tick carries the setup's clock,
    // as one before the start does: the log cannot tell them apart, and the
    // run lists such clicks before the start. Apart from that, the same rows.
    const auto withoutStart = [](std::vector<BidsEvent> events) {
        const auto start = std::find_if(events.begin(), events.end(),
                                        [](const BidsEvent& e) { return e.type == BidsEventType::Started; });
        EXPECT_NE(start, events.end());
        if (start != events.end()) {
            EXPECT_EQ(start->tick, 0);
            events.erase(start);
        }
        return events;
    };
    const std::vector<BidsEvent> fromLog = withoutStart(replayed.value()), fromTrial = withoutStart(live);
    ASSERT_EQ(fromLog.size(), fromTrial.size());
    for (std::size_t i = 0; i < fromTrial.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i + 1) + ", " + BidsEventWord(fromTrial[i].type));
        EXPECT_EQ(fromLog[i], fromTrial[i]);
    }
}

// The trials whose clicks came between ticks, as the window delivers them
// (the others click inside a tick, which a log cannot tell apart).
INSTANTIATE_TEST_SUITE_P(ReferenceTrials, LiveEventsTest,
                         ::testing::Values("case_0201", "case_0202", "case_0203", "case_0204"));

TEST(BidsEventsTest, ABrokenLogIsRefusedWithItsNameAndLine)
{
    const ReferenceTrial ref = LoadReference("case_0005");
    const std::string broken = "0,50,\"SIDEWAYS\",2\r\n" + ref.log.text.substr(ref.log.text.find("\r\n") + 2);
    auto replayed = BidsEventsOfLog(ref.tables, {"ab.3", broken});
    ASSERT_FALSE(replayed.ok());
    EXPECT_NE(replayed.error().find("ab.3"), std::string::npos) << replayed.error();
    EXPECT_NE(replayed.error().find("line 1"), std::string::npos) << replayed.error();
}

// ---- Labels, speeds, cells -------------------------------------------------------

TEST(BidsLabelsTest, OnlyLettersAndDigitsAndClashesResolvedTheSameWayInAnyOrder)
{
    EXPECT_EQ(CleanLabel("ab_12-c"), "ab12c");
    EXPECT_EQ(CleanLabel("__-"), "x");
    EXPECT_EQ(CleanLabel("\xc3\xa9t\xc3\xa9" "1"), "t1");

    const std::vector<std::string> ids{"ab_12", "ab12", "a-1", "a_1", "a1x2", "AB", "ab", "--"};
    // ab12, a1x2 and AB are labels already and keep them; "ab" meets "AB"
    // without regard to case; a-1 and a_1 both clean to a1, whose next
    // free label is a1x3, as a1x2 is taken.
    const std::map<std::string, std::string> expected{{"ab_12", "ab12x2"}, {"ab12", "ab12"}, {"a-1", "a1"},
                                                      {"a_1", "a1x3"},     {"a1x2", "a1x2"}, {"AB", "AB"},
                                                      {"ab", "abx2"},      {"--", "x"}};
    std::vector<std::string> order = ids;
    std::sort(order.begin(), order.end());
    int permutations = 0;
    do {
        const std::vector<std::string> labels = BidsLabels(order);
        ASSERT_EQ(labels.size(), order.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            ASSERT_EQ(labels[i], expected.at(order[i])) << order[i] << " in permutation " << permutations;
    } while (std::next_permutation(order.begin(), order.end()) && ++permutations < 2000);
    EXPECT_EQ(permutations, 2000);
}

TEST(TrialSpeedTest, FromTheRowsTimesWithinItsSimRateOrElseTheMiddleOfTheRange)
{
    // The window records whole minutes for 480 ticks; each covers a range of speeds.
    EXPECT_EQ(MsPerTickRange(15), std::make_optional(std::make_pair(1875, 1999)));
    EXPECT_EQ(MsPerTickRange(1), std::make_optional(std::make_pair(125, 249)));
    EXPECT_EQ(MsPerTickRange(30), std::make_optional(std::make_pair(3750, 3750)));
    EXPECT_FALSE(MsPerTickRange(0));
    EXPECT_FALSE(MsPerTickRange(31));
    EXPECT_FALSE(MsPerTickRange(15.5));
    for (int ms : {125, 1000, 1937, 3750}) {
        const auto range = MsPerTickRange(SpeedMinutes(ms));
        ASSERT_TRUE(range) << ms;
        EXPECT_TRUE(range->first <= ms && ms <= range->second) << ms;
    }

    // 480 ticks in 15 min 30 s: 1937.5 ms per tick, rounded.
    auto speed = SpeedOfTrial(15, "10:00:00", "10:15:30", 480);
    ASSERT_TRUE(speed);
    EXPECT_EQ(speed->msPerTick, 1938);
    EXPECT_EQ(speed->source, SpeedSource::RowTimes);
    // Past midnight.
    speed = SpeedOfTrial(8, "23:58:00", "00:06:00", 480);
    ASSERT_TRUE(speed);
    EXPECT_EQ(speed->msPerTick, 1000);
    EXPECT_EQ(speed->source, SpeedSource::RowTimes);
    // Times that no speed of this SimRate gives (a run as fast as possible), or none: the middle.
    for (const auto& [start, end] : std::vector<std::pair<std::string, std::string>>{
             {"10:00:00", "10:00:01"}, {"10:00:00", ""}, {"", ""}, {"10:00", "10:15:30"}}) {
        speed = SpeedOfTrial(15, start, end, 480);
        ASSERT_TRUE(speed);
        EXPECT_EQ(speed->msPerTick, 1937) << start << "-" << end;
        EXPECT_EQ(speed->source, SpeedSource::SimRate);
    }
    EXPECT_FALSE(SpeedOfTrial(std::nullopt, "10:00:00", "10:15:30", 480));
    EXPECT_FALSE(SpeedOfTrial(0, "10:00:00", "10:15:30", 480));

    EXPECT_EQ(OnsetSeconds(0, 1937), "0.000");
    EXPECT_EQ(OnsetSeconds(34, 1937), "65.858");
    EXPECT_EQ(OnsetSeconds(1, 125), "0.125");
    EXPECT_EQ(OnsetSeconds(480, 3750), "1800.000");
}

TEST(BidsCellsTest, TabsLineBreaksAndBytesThatAreNotUtf8AreRefused)
{
    EXPECT_EQ(TsvCell(std::nullopt, "c").value(), "n/a");
    EXPECT_EQ(TsvCell(std::string(), "c").value(), "n/a");
    EXPECT_EQ(TsvCell(std::string("Computer Science"), "c").value(), "Computer Science");
    EXPECT_EQ(TsvCell(std::string("Psychologie \xc3\xa9"), "c").value(), "Psychologie \xc3\xa9");
    for (const std::string& bad : std::vector<std::string>{"a\tb", "a\nb", "a\rb", "a\xff", "a\x01"}) {
        auto cell = TsvCell(bad, "the questionnaire of p1, column \"Major\",");
        ASSERT_FALSE(cell.ok()) << bad;
        EXPECT_NE(cell.error().find("column \"Major\""), std::string::npos) << cell.error();
    }
    EXPECT_TRUE(IsBidsLabel("kestu2"));
    EXPECT_FALSE(IsBidsLabel("kestu_2"));
    EXPECT_FALSE(IsBidsLabel(""));
}

// ---- The command -----------------------------------------------------------------

class ExportBidsTest : public CtlTest {
protected:
    std::string Out() const { return Path("bids"); }
    std::vector<std::string> FilesUnder(const std::string& folder) const
    {
        std::vector<std::string> files;
        std::error_code failed;
        for (const auto& entry : fs::recursive_directory_iterator(folder, failed))
            if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder).string());
        std::sort(files.begin(), files.end());
        return files;
    }
    std::vector<std::string> Siblings() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Path(""))) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(ExportBidsTest, WritesTheParticipantsAndEachTrialsEventsWithItsOnsets)
{
    RecordTrial("ab_12", 1, 3);
    RecordTrial("ab_12", 2, 4);
    RecordTrial("ab12", 1, 5);
    StopLogEarly("ab12.1", 6);
    Sql("UPDATE \"Experiments\" SET \"SimRate\" = 15, \"StartTime\" = '10:00:00', \"EndTime\" = '10:15:30' "
        "WHERE \"UserID\" = 'ab_12' AND \"Experiment\" = 2");
    Sql("INSERT INTO \"UserData\" (\"UserID\", \"FirstName\", \"LastName\", \"Age\", \"Sex\", \"Major\") "
        "VALUES ('ab_12', 'Ada', 'Lovelace', '21', 'Female', 'Mathematics')");
    Sql("INSERT INTO \"UserData\" (\"UserID\", \"Age\") VALUES ('nolog', '30')");

    const CommandResult run = Run({"export-bids", db_, Out() + "/", "--task", "plant"});
    ASSERT_EQ(run.status, ExitOk) << run.err;
    EXPECT_TRUE(Has(run.out, "2 participants, 3 runs of task plant"));
    EXPECT_TRUE(Has(run.err, "left out nolog: nolog has no trials."));
    EXPECT_EQ(FilesUnder(Out()),
              (std::vector<std::string>{"README", "dataset_description.json", "participants.json", "participants.tsv",
                                        "sub-ab12/beh/sub-ab12_task-plant_run-1_events.json",
                                        "sub-ab12/beh/sub-ab12_task-plant_run-1_events.tsv",
                                        "sub-ab12x2/beh/sub-ab12x2_task-plant_run-1_events.json",
                                        "sub-ab12x2/beh/sub-ab12x2_task-plant_run-1_events.tsv",
                                        "sub-ab12x2/beh/sub-ab12x2_task-plant_run-2_events.json",
                                        "sub-ab12x2/beh/sub-ab12x2_task-plant_run-2_events.tsv"}));

    const auto people = TsvRows(ReadFile(Out() + "/participants.tsv"));
    ASSERT_EQ(people.size(), 3u);
    EXPECT_EQ(people[0], (std::vector<std::string>{"participant_id", "user_id", "age", "sex", "school_year", "major"}));
    EXPECT_EQ(people[1], (std::vector<std::string>{"sub-ab12", "ab12", "n/a", "n/a", "n/a", "n/a"}));
    EXPECT_EQ(people[2], (std::vector<std::string>{"sub-ab12x2", "ab_12", "21", "Female", "n/a", "Mathematics"}));
    const std::string everything = ReadFile(Out() + "/participants.tsv") + ReadFile(Out() + "/participants.json");
    EXPECT_FALSE(Has(everything, "Lovelace")) << "names stay out of the dataset";

    const QJsonObject description =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(Out() + "/dataset_description.json"))).object();
    EXPECT_EQ(description["BIDSVersion"].toString(), BidsVersion);
    EXPECT_EQ(description["DatasetType"].toString(), "raw");

    // The run whose times give its speed: 930 s over the 480 ticks it lived.
    const std::string stem = Out() + "/sub-ab12x2/beh/sub-ab12x2_task-plant_run-2_events";
    const auto rows = TsvRows(ReadFile(stem + ".tsv"));
    auto log = ReadLoggedTrial({"ab_12.2", ReadFile(Path("ab_12.2"))});
    ASSERT_TRUE(log.ok()) << log.error();
    auto events = BidsEventsOfLog(Scenario(), {"ab_12.2", ReadFile(Path("ab_12.2"))});
    ASSERT_TRUE(events.ok());
    ASSERT_EQ(rows.size(), events.value().size() + 1);
    EXPECT_EQ(rows[0].size(), 12u);
    std::size_t clicks = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const BidsEvent& e = events.value()[i - 1];
        ASSERT_EQ(rows[i].size(), 12u);
        EXPECT_EQ(rows[i][0], OnsetSeconds(e.tick, 1938));
        EXPECT_EQ(rows[i][2], BidsEventWord(e.type));
        EXPECT_EQ(rows[i][3], std::to_string(e.tick));
        EXPECT_EQ(rows[i][4], FormatClock(e.clock));
        if (e.type == BidsEventType::Click) {
            ++clicks;
            EXPECT_EQ(rows[i][5], std::to_string(*e.switchNum));
        }
    }
    EXPECT_EQ(clicks, log.value().size() - 1) << "every record but the closing STOP is a click";
    EXPECT_EQ(rows.back()[2], "end");
    EXPECT_EQ(rows.back()[3], "480");
    EXPECT_EQ(rows.back()[0], "930.240");
    const QJsonObject sidecar = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(stem + ".json"))).object();
    for (const auto& column : rows[0]) EXPECT_TRUE(sidecar.contains(QString::fromStdString(column))) << column;
    EXPECT_TRUE(sidecar["onset"].toObject()["Description"].toString().contains("1938 ms per tick"));
    EXPECT_EQ(sidecar["trial_type"].toObject()["Levels"].toObject().size(), 9);

    // The stopped trial ends on its STOP, its speed the middle of its SimRate's range.
    const auto stopped = TsvRows(ReadFile(Out() + "/sub-ab12/beh/sub-ab12_task-plant_run-1_events.tsv"));
    EXPECT_EQ(stopped.back()[2], "stop");
    const QJsonObject stoppedSidecar = QJsonDocument::fromJson(
        QByteArray::fromStdString(ReadFile(Out() + "/sub-ab12/beh/sub-ab12_task-plant_run-1_events.json"))).object();
    EXPECT_TRUE(stoppedSidecar["onset"].toObject()["Description"].toString().contains("1062 ms per tick"))
        << "SimRate 8 allows 1000 to 1124 ms per tick";
}

TEST_F(ExportBidsTest, TheOutputFolderIsNewEmptyOrAnEarlierExportReplacedWhole)
{
    RecordTrial("p1", 1, 3);
    RecordTrial("p2", 1, 4);
    // A folder of something else is refused and left as it was.
    fs::create_directories(Out());
    WriteFile(Out() + "/notes.txt", "mine");
    CommandResult run = Run({"export-bids", db_, Out()});
    EXPECT_EQ(run.status, ExitFailure);
    EXPECT_TRUE(Has(run.err, "holds no earlier export of this command"));
    EXPECT_EQ(FilesUnder(Out()), std::vector<std::string>{"notes.txt"});
    fs::remove(Out() + "/notes.txt");

    // Empty: taken.
    ASSERT_EQ(Run({"export-bids", db_, Out()}).status, ExitOk);
    EXPECT_TRUE(fs::exists(Out() + "/sub-p2"));

    // An earlier export is replaced whole: a participant gone from the study is gone from it.
    Sql("DELETE FROM \"Experiments\" WHERE \"UserID\" = 'p2'");
    fs::remove(Path("p2.1"));
    run = Run({"export-bids", db_, Out()});
    ASSERT_EQ(run.status, ExitOk) << run.err;
    EXPECT_FALSE(fs::exists(Out() + "/sub-p2"));
    EXPECT_TRUE(fs::exists(Out() + "/sub-p1"));

    // An earlier export holding a file of someone else's is refused.
    WriteFile(Out() + "/sub-p1/beh/analysis.R", "x");
    run = Run({"export-bids", db_, Out()});
    EXPECT_EQ(run.status, ExitFailure);
    EXPECT_TRUE(Has(run.err, "sub-p1/beh/analysis.R, which the export did not write"));
    fs::remove(Out() + "/sub-p1/beh/analysis.R");

    // A file that is no folder, and a task that is no label.
    WriteFile(Path("plain"), "x");
    EXPECT_EQ(Run({"export-bids", db_, Path("plain")}).status, ExitFailure);
    EXPECT_EQ(Run({"export-bids", db_, Out(), "--task", "my_task"}).status, ExitUsage);
}

TEST_F(ExportBidsTest, AWriteThatFailsLeavesTheEarlierExportAndNoHalfOfTheNewOne)
{
    RecordTrial("p1", 1, 3);
    RecordTrial("p1", 2, 4);
    ASSERT_EQ(Run({"export-bids", db_, Out()}).status, ExitOk);
    const std::vector<std::string> before = FilesUnder(Out());
    const std::string events = ReadFile(Out() + "/sub-p1/beh/sub-p1_task-kestu_run-2_events.tsv");
    const std::vector<std::string> around = Siblings();
    Sql("UPDATE \"Experiments\" SET \"SimRate\" = 1");

    for (int nth : {1, 5, 8}) {
        SCOPED_TRACE("file " + std::to_string(nth) + " fails");
        auto files = std::make_shared<int>(0);
        const SinkWrapper failing = [files, nth](std::unique_ptr<FileSink> inner) -> std::unique_ptr<FileSink> {
            if (++*files != nth) return inner;
            return std::make_unique<kestu::testing::FailingSink>(std::move(inner), 1);
        };
        const CommandResult run = Run({"export-bids", db_, Out()}, failing);
        EXPECT_EQ(run.status, ExitFailure);
        EXPECT_TRUE(Has(run.err, "cannot be written"));
        EXPECT_EQ(FilesUnder(Out()), before);
        EXPECT_EQ(ReadFile(Out() + "/sub-p1/beh/sub-p1_task-kestu_run-2_events.tsv"), events);
        EXPECT_EQ(Siblings(), around) << "no half-made folder is left beside it";
    }
    // Without a failure the new speed is in.
    ASSERT_EQ(Run({"export-bids", db_, Out()}).status, ExitOk);
    EXPECT_NE(ReadFile(Out() + "/sub-p1/beh/sub-p1_task-kestu_run-2_events.tsv"), events);
    EXPECT_EQ(Siblings(), around);
}

TEST_F(ExportBidsTest, AnAnswerATsvCellCannotHoldIsRefusedAndNothingIsWritten)
{
    RecordTrial("p1", 1, 3);
    Sql("INSERT INTO \"UserData\" (\"UserID\", \"Major\") VALUES ('p1', 'Physics' || char(9) || 'Maths')");
    const CommandResult run = Run({"export-bids", db_, Out()});
    EXPECT_EQ(run.status, ExitFailure);
    EXPECT_TRUE(Has(run.err, "the questionnaire of p1, column \"Major\", holds \"Physics\\x09Maths\""));
    EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(ExportBidsTest, TrialsWithoutALogOrASpeedAreLeftOutAndSaidSo)
{
    RecordTrial("p1", 1, 3);
    RecordTrial("p1", 2, 4);
    RecordTrial("p1", 3, 5);
    fs::remove(Path("p1.2"));
    Sql("UPDATE \"Experiments\" SET \"SimRate\" = 99 WHERE \"Experiment\" = 3");
    const CommandResult run = Run({"export-bids", db_, Out()});
    ASSERT_EQ(run.status, ExitOk) << run.err;
    EXPECT_TRUE(Has(run.out, "1 participant, 1 run of task kestu; 2 trials or logs left out"));
    EXPECT_TRUE(Has(run.err, "left out p1, trial 2: "));
    EXPECT_TRUE(Has(run.err, "left out p1, trial 3: Its SimRate holds 99"));
    EXPECT_TRUE(fs::exists(Out() + "/sub-p1/beh/sub-p1_task-kestu_run-1_events.tsv"));
    EXPECT_FALSE(fs::exists(Out() + "/sub-p1/beh/sub-p1_task-kestu_run-3_events.tsv"));
}

}  // namespace
}  // namespace kestu::ctl::testing
