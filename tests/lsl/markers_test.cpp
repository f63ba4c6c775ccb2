// The trial's markers: their text, the markers a log implies against those
// the live trial sent, the outlet's queue off the tick's path, and a trial
// with markers switched on where no LSL library is to be found.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "analysis/logged_trial.h"
#include "conformance/case_runner.h"
#include "kestuctl/ctl_fixture.h"
#include "markers/lsl_library.h"
#include "markers/marker_outlet.h"
#include "markers/marker_text.h"

namespace kestu::markers::testing {
namespace {

using ctl::testing::CtlTest;
using ctl::testing::Q;

std::string ReadAll(const std::string& path)
{
    return std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {});
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// The markers a live trial's events give, in order.
struct MarkerRecorder : TrialObserver {
    std::vector<std::string> markers;
    std::vector<TrialEvent> events;
    void OnTrialEvent(const TrialEvent& event) override
    {
        if (auto text = MarkerText(event)) {
            markers.push_back(*text);
            events.push_back(event);
        }
    }
    TrialEventKinds Wanted() const override { return MarkerKinds(); }
};

std::size_t CountOf(const std::vector<std::string>& markers, const std::string& event)
{
    return static_cast<std::size_t>(std::count_if(markers.begin(), markers.end(), [&](const std::string& m) {
        return m.starts_with("{\"event\":\"" + event + "\"");
    }));
}

std::size_t CountIn(const std::string& log, const std::string& word)
{
    std::size_t count = 0;
    for (std::size_t at = 0; (at = log.find(",\"" + word + "\",", at)) != std::string::npos; ++at) ++count;
    return count;
}

// Equal, and where not, the first marker that differs.
void ExpectSameMarkers(const std::vector<std::string>& implied, const std::vector<std::string>& sent)
{
    EXPECT_EQ(implied.size(), sent.size());
    for (std::size_t i = 0; i < implied.size() && i < sent.size(); ++i) {
        if (implied[i] == sent[i]) continue;
        ADD_FAILURE() << "marker " << i + 1 << " differs:\n  implied: " << implied[i] << "\n  sent:    " << sent[i];
        return;
    }
}

TrialEvent EventOf(TrialEventKind kind)
{
    TrialEvent event;
    event.Kind = kind;
    event.Trial = {"ab12", 3, SimulatorMode::Experiment};
    event.Clock = {1, 5};
    event.Tick = 65;
    event.MissedTotal = 12;
    event.End = {8, 0};
    return event;
}

TEST(MarkerText, EachMarkerHasItsFixedKeysInOrder)
{
    TrialEvent setup = EventOf(TrialEventKind::SetUp);
    setup.Tick = 0;
    setup.Clock = {0, 0};
    EXPECT_EQ(MarkerText(setup), R"({"event":"setup","user":"ab12","trial":3,"tick":0,"clock":"00:00","end":"08:00"})");
    EXPECT_EQ(MarkerText(EventOf(TrialEventKind::Started)),
              R"({"event":"start","user":"ab12","trial":3,"tick":65,"clock":"01:05"})");
    TrialEvent click = EventOf(TrialEventKind::SwitchClicked);
    click.Switch = 45;
    click.Tank = 22;
    click.Status = SwitchStatus::Queued;
    EXPECT_EQ(MarkerText(click),
              R"({"event":"click","user":"ab12","trial":3,"tick":65,"clock":"01:05","switch":45,"tank":22,"status":"queued"})");
    click.Status = SwitchStatus::Clean;
    EXPECT_NE(MarkerText(click)->find(R"("status":"clean")"), std::string::npos);
    click.Status = SwitchStatus::Off;
    EXPECT_NE(MarkerText(click)->find(R"("status":"off")"), std::string::npos);
    TrialEvent judged = EventOf(TrialEventKind::DeadlineJudged);
    judged.Tank = 7;
    judged.Owed = 3;
    judged.Missed = 3;
    EXPECT_EQ(MarkerText(judged),
              R"({"event":"deadline","user":"ab12","trial":3,"tick":65,"clock":"01:05","tank":7,"owed":3,"missed":3,"missed_total":12})");
    TrialEvent restored = EventOf(TrialEventKind::SnapshotRestored);
    restored.RestoredTo = {0, 40};
    EXPECT_EQ(MarkerText(restored),
              R"({"event":"restore","user":"ab12","trial":3,"tick":65,"clock":"01:05","to":"00:40","missed_total":12})");
    EXPECT_EQ(MarkerText(EventOf(TrialEventKind::SnapshotSaved)),
              R"({"event":"save","user":"ab12","trial":3,"tick":65,"clock":"01:05","missed_total":12})");
    TrialEvent ended = EventOf(TrialEventKind::Ended);
    ended.Clock = {123, 9};
    ended.Tick = 7389;
    EXPECT_EQ(MarkerText(ended), R"({"event":"end","user":"ab12","trial":3,"tick":7389,"clock":"123:09","missed_total":12})");
    TrialEvent stopped = EventOf(TrialEventKind::StoppedEarly);
    stopped.How = RunEnd::ByStopRecord;
    EXPECT_EQ(MarkerText(stopped), R"({"event":"stop","user":"ab12","trial":3,"tick":65,"clock":"01:05","missed_total":12})");
}

TEST(MarkerText, OnlyTheTrialsFactsAreMarkers)
{
    for (TrialEventKind kind : {TrialEventKind::TickEnded, TrialEventKind::PumpQueued, TrialEventKind::PumpCleaning,
                                TrialEventKind::PumpReleased, TrialEventKind::PumpHandedOver,
                                TrialEventKind::WaterArrived, TrialEventKind::Paused, TrialEventKind::Resumed,
                                TrialEventKind::Fault}) {
        EXPECT_FALSE(MarkerText(EventOf(kind))) << static_cast<int>(kind);
        EXPECT_EQ(MarkerKinds() & KindBit(kind), 0u) << static_cast<int>(kind);
    }
    // A replay's end at the last record of a log cut off is no stop the trial sent.
    TrialEvent cutOff = EventOf(TrialEventKind::StoppedEarly);
    cutOff.How = RunEnd::LogCutOff;
    EXPECT_FALSE(MarkerText(cutOff));
}

TEST(MarkerText, NumbersAndQuotesDoNotDependOnTheLocale)
{
    const char* was = std::setlocale(LC_ALL, nullptr);
    const std::string before = was ? was : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    std::locale::global(std::locale("de_DE.UTF-8"));
    TrialEvent ended = EventOf(TrialEventKind::Ended);
    ended.Tick = 1234567;
    ended.MissedTotal = 98765;
    ended.Trial.UserID = "a\"b\\c";
    const auto text = MarkerText(ended);
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(text, R"({"event":"end","user":"a\"b\\c","trial":3,"tick":1234567,"clock":"01:05","missed_total":98765})");
}

// Every reference trial: the markers its log implies are those the live
// trial sent, one for each record the log holds, and its deadlines add up.
class ReferenceTrialMarkers : public ::testing::TestWithParam<std::string> {};

TEST_P(ReferenceTrialMarkers, TheLogImpliesTheMarkersTheTrialSent)
{
    const std::string caseDir = std::string(KESTU_CONFORMANCE_DIR) + "/" + GetParam();
    ScenarioTables tables;
    std::vector<conformance::ScriptEvent> script;
    ASSERT_EQ(conformance::LoadCase(caseDir, tables, script), "");
    QTemporaryDir work;
    MarkerRecorder live;
    std::atomic<int> replayPushes{0};
    MarkerOutlet replayOutlet({.now = [] { return 0.0; }, .push = [&](const std::string&, double) { return ++replayPushes > 0; }});
    const auto out = conformance::RunCase(tables, script, work.path().toStdString(), &live, &replayOutlet);
    replayOutlet.Stop();
    ASSERT_EQ(out.trialLog, ReadAll(caseDir + "/U.1")) << "the reference trial ran as recorded";
    EXPECT_EQ(replayPushes, 0) << "a replay publishes nothing";
    const auto implied = MarkersOfLog(tables, {"U.1", out.trialLog}, "U", 1);
    ASSERT_TRUE(implied.ok()) << implied.error();
    // Each click, snapshot and end is told as the trial told it, in order.
    const auto logged = [](const std::vector<std::string>& all) {
        std::vector<std::string> some;
        for (const std::string& m : all)
            if (!m.starts_with(R"({"event":"deadline")") && !m.starts_with(R"({"event":"start")")) some.push_back(m);
        return some;
    };
    const auto facts = [](const std::vector<std::string>& all) {  // what neither a restore nor a judgement changes
        std::vector<std::string> some;
        for (const std::string& m : all)
            if (!m.starts_with(R"({"event":"deadline")") && !m.starts_with(R"({"event":"start")"))
                some.push_back(m.substr(0, m.find(R"(,"missed_total")")));
        return some;
    };
    ExpectSameMarkers(facts(implied.value()), facts(live.markers));
    // Where every click came between ticks or at a tick's end, the replay is
    // the trial itself and every marker is the trial's.
    const bool replayedExactly = std::all_of(script.begin(), script.end(), [](const conformance::ScriptEvent& e) {
        return (e.at == "before" || e.at == "yield3") && !(e.tick == 1 && e.at == "before");
    });
    if (replayedExactly) {
        ExpectSameMarkers(implied.value(), live.markers);
    } else {
        EXPECT_EQ(logged(implied.value()).size(), logged(live.markers).size());
        EXPECT_EQ(CountOf(implied.value(), "deadline"), CountOf(live.markers, "deadline"));
    }
    const std::vector<std::string>& m = live.markers;
    ASSERT_GE(m.size(), 3u);
    EXPECT_TRUE(m.front().starts_with(R"({"event":"setup","user":"U","trial":1,"tick":0,)")) << m.front();
    // The clicks before the start (tick 0) come between the setup and the start.
    const auto start = std::find_if(m.begin(), m.end(), [](const std::string& t) { return t.starts_with(R"({"event":"start",)"); });
    ASSERT_NE(start, m.end());
    EXPECT_TRUE(start->starts_with(R"({"event":"start","user":"U","trial":1,"tick":0,)")) << *start;
    for (auto before = m.begin() + 1; before != start; ++before)
        EXPECT_TRUE(before->starts_with(R"({"event":"click","user":"U","trial":1,"tick":0,)")) << *before;
    EXPECT_TRUE(m.back().starts_with(R"({"event":"end",)")) << m.back();
    const std::string& log = out.trialLog;
    EXPECT_EQ(CountOf(m, "click"),
              CountIn(log, "ON") + CountIn(log, "OFF") + CountIn(log, "CLEAN") + CountIn(log, "QUEUED"));
    EXPECT_EQ(CountOf(m, "save"), CountIn(log, "FF"));
    EXPECT_EQ(CountOf(m, "restore"), CountIn(log, "FFR"));
    EXPECT_EQ(CountOf(m, "stop"), 0u) << "each reference trial ran to its end time";
    long long total = 0, lastTick = 0;
    for (const TrialEvent& e : live.events) {
        EXPECT_GE(e.Tick, lastTick);
        lastTick = e.Tick;
        if (e.Kind == TrialEventKind::DeadlineJudged) total += e.Missed;
        if (e.Kind == TrialEventKind::SnapshotRestored) total = e.MissedTotal;
    }
    EXPECT_EQ(live.events.back().MissedTotal, total);
}

INSTANTIATE_TEST_SUITE_P(AllReferenceTrials, ReferenceTrialMarkers,
                         ::testing::Values("case_0001", "case_0002", "case_0003", "case_0004", "case_0005",
                                           "case_0006", "case_0007", "case_0008", "case_0101", "case_0102",
                                           "case_0103", "case_0104", "case_0201", "case_0202", "case_0203",
                                           "case_0204"));

// A sink that records what it is given, its clock counting up by one each read.
struct RecordingSink {
    std::mutex mutex;
    std::vector<std::pair<std::string, double>> pushed;
    std::atomic<double> clock{100.0};
    MarkerSink Sink()
    {
        return {.now = [this] { return clock.fetch_add(1.0); },
                .push =
                    [this](const std::string& text, double stamp) {
                        const std::lock_guard lock(mutex);
                        pushed.emplace_back(text, stamp);
                        return true;
                    }};
    }
};

class MarkerOutletTest : public CtlTest {};

// A trial closed mid-way: the outlet pushes each marker with the clock read
// at its event, a stop last, and the log implies the same markers.
TEST_F(MarkerOutletTest, ATrialStoppedEarlySendsWhatItsLogImplies)
{
    MemoryStore store(Scenario());
    ParticipantState participant;
    participant.UserID = "p7";
    participant.TrialNum = 4;
    TrialSession session(participant, store, dir_.path().toStdString());
    session.decisionChoice = 1;
    session.engine.random().Seed(11);
    RecordingSink sink;
    MarkerOutlet outlet(sink.Sink());
    MarkerRecorder live;
    session.observers.Add(&outlet);
    session.observers.Add(&live);
    ASSERT_TRUE(session.trial.LoadPlant() && session.trial.SetUpTrial());
    session.trial.StartOrStop();
    ASSERT_EQ(TickWhileRunning(session, 200), 200);
    session.CloseWindow();
    outlet.Stop();

    ASSERT_EQ(sink.pushed.size(), live.markers.size());
    EXPECT_EQ(outlet.tally().pushed, static_cast<long long>(live.markers.size()));
    EXPECT_EQ(outlet.tally().failed, 0);
    for (std::size_t i = 0; i < live.markers.size(); ++i) {
        EXPECT_EQ(sink.pushed[i].first, live.markers[i]);
        EXPECT_EQ(sink.pushed[i].second, 100.0 + static_cast<double>(i)) << "stamped at its event, in order";
    }
    ASSERT_GT(CountOf(live.markers, "click"), 0u);
    EXPECT_EQ(live.markers.back(), R"({"event":"stop","user":"p7","trial":5,"tick":200,"clock":)" +
                                       std::string(R"(")") + FormatClock(live.events.back().Clock) +
                                       R"(","missed_total":)" + std::to_string(live.events.back().MissedTotal) + "}");
    const auto log = analysis::ReadTrialLog(Path("p7.5"));
    ASSERT_TRUE(log.ok()) << log.error();
    const auto implied = MarkersOfLog(Scenario(), log.value(), "p7", 5);
    ASSERT_TRUE(implied.ok()) << implied.error();
    ExpectSameMarkers(implied.value(), live.markers);
}

TEST_F(MarkerOutletTest, AReplayPublishesNothing)
{
    RecordTrial("r1", 1, 3);
    RecordingSink sink;
    MarkerOutlet outlet(sink.Sink());
    MemoryStore store(Scenario());
    ParticipantState participant;
    participant.UserID = "r1";
    participant.ReplayMode = true;
    participant.TrialNum = 1;
    TrialSession session(participant, store, std::string());
    MarkerRecorder seen;
    session.observers.Add(&outlet);
    session.observers.Add(&seen);
    const ReplayOutcome replay = RunSessionReplay(session, Path("r1.1"), 1);
    session.CloseWindow();
    outlet.Stop();
    ASSERT_FALSE(replay.fault);
    EXPECT_GT(seen.markers.size(), 10u) << "the replay did tell its events";
    EXPECT_EQ(outlet.tally().queued, 0);
    EXPECT_TRUE(sink.pushed.empty());
}

// A push that hangs (a recorder's connection stuck) holds up no event; what
// was queued meanwhile is pushed, in order, once it goes on.
TEST(MarkerOutlet, AHangingPushHoldsUpNoEvent)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::mutex mutex;
    std::vector<std::string> pushed;
    std::vector<double> stamps;
    std::atomic<double> now{0.0};  // the events' clock, set before each event
    MarkerOutlet outlet({.now = [&] { return now.load(); },
                         .push =
                             [&](const std::string& text, double stamp) {
                                 released.wait();
                                 const std::lock_guard lock(mutex);
                                 pushed.push_back(text);
                                 stamps.push_back(stamp);
                                 return pushed.size() != 2;  // the second push fails
                             }});
    const auto began = std::chrono::steady_clock::now();
    for (int tick = 0; tick < 1000; ++tick) {
        TrialEvent event = EventOf(TrialEventKind::SwitchClicked);
        event.Tick = tick;
        now = 1000.0 + tick;
        outlet.OnTrialEvent(event);
    }
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_LT(took, std::chrono::milliseconds(500)) << "the events waited for the push";
    EXPECT_EQ(outlet.tally().queued, 1000);
    EXPECT_EQ(outlet.tally().pushed, 0);
    now = -1.0;  // a stamp read at the push would show it
    release.set_value();
    outlet.Stop();
    ASSERT_EQ(pushed.size(), 1000u);
    for (int tick = 0; tick < 1000; ++tick) {
        const auto i = static_cast<std::size_t>(tick);
        EXPECT_NE(pushed[i].find("\"tick\":" + std::to_string(tick) + ","), std::string::npos);
        EXPECT_EQ(stamps[i], 1000.0 + tick) << "stamped at its event";
    }
    EXPECT_EQ(outlet.tally().pushed, 999);
    EXPECT_EQ(outlet.tally().failed, 1);
}

// Markers switched on where the library is not: one line says which file was
// looked for and how to install it, and the trial runs and records as usual.
class NoLibraryTest : public CtlTest {
protected:
    void SetUp() override
    {
        if (std::getenv("KESTU_NO_PRIVATE_NETWORK"))
            GTEST_SKIP() << "markers are switched on only inside a private network namespace, which cannot be made here";
        CtlTest::SetUp();
    }
    void TearDown() override { ::unsetenv(LslLibraryVariable); }
};

TEST_F(NoLibraryTest, TheTrialRunsAndRecordsAfterOneMessage)
{
    // Only this file is tried, so no library elsewhere on the computer is loaded.
    const std::string missing = Path("lib/liblsl.so");
    ::setenv(LslLibraryVariable, missing.c_str(), 1);
    const auto run = Run({"run-trial", db_, "n1", "--seed", "5", "--lsl", "--no-report"});
    ASSERT_EQ(run.status, ctl::ExitOk) << run.err;
    EXPECT_TRUE(run.out.starts_with("User ID n1, trial 1: ")) << run.out;
    const std::string said = "kestuctl run-trial: LSL markers are off: the Lab Streaming Layer library " + missing +
                             " cannot be loaded (";
    EXPECT_TRUE(Has(run.err, said));
    EXPECT_TRUE(Has(run.err, "install liblsl"));
    EXPECT_TRUE(Has(run.err, "KESTU_LSL_LIBRARY"));
    EXPECT_TRUE(Has(run.err, "The trial runs without markers.\n"));
    EXPECT_EQ(run.err.find("LSL"), run.err.rfind("LSL markers are off")) << "said once:\n" << run.err;
    std::size_t lines = 0;
    for (const std::string& line : Lines(run.err)) lines += line.find("LSL") != std::string::npos;
    EXPECT_EQ(lines, 1u) << run.err;

    // Recorded as without markers: the log beside the database, the row with its results.
    const std::string log = ReadAll(Path("n1.1"));
    EXPECT_TRUE(log.ends_with("\r\n")) << "the trial's log is whole";
    const std::string rows = Dump("Experiments");
    EXPECT_TRUE(Has(rows, "n1"));
    const auto replay = Run({"replay", db_, Path("n1.1")});
    EXPECT_EQ(replay.status, ctl::ExitOk) << replay.err;
    const std::string total = run.out.substr(run.out.find(": ") + 2, run.out.find(" missed") - run.out.find(": ") - 2);
    EXPECT_TRUE(Has(replay.out, total)) << "the row and the log agree on the " << total << " missed buckets";
}

TEST_F(NoLibraryTest, AFileThatIsNoLibraryIsNamed)
{
    const std::string notLibrary = Path("liblsl.so");
    WriteFile(notLibrary, "not a shared object\n");
    ::setenv(LslLibraryVariable, notLibrary.c_str(), 1);
    std::string problem;
    EXPECT_FALSE(LslLibrary::Load(problem));
    EXPECT_TRUE(problem.starts_with("LSL markers are off: the Lab Streaming Layer library " + notLibrary +
                                    " cannot be loaded ("))
        << problem;
    // A real shared object without the functions: the first one missing is named.
    ::setenv(LslLibraryVariable, "libm.so.6", 1);
    EXPECT_FALSE(LslLibrary::Load(problem));
    EXPECT_TRUE(Has(problem, "libm.so.6 is not the Lab Streaming Layer library Kestu needs: it has no function "
                             "lsl_create_streaminfo"));
}

// kestuctl markers prints what MarkersOfLog gives, one per line.
class MarkersCommandTest : public CtlTest {};

TEST_F(MarkersCommandTest, PrintsTheMarkersOfTheLogBesideItsDatabase)
{
    RecordTrial("m2", 3, 9);
    const auto log = analysis::ReadTrialLog(Path("m2.3"));
    ASSERT_TRUE(log.ok());
    const auto implied = MarkersOfLog(Scenario(), log.value(), "m2", 3);
    ASSERT_TRUE(implied.ok());
    const std::string out = Ok({"markers", Path("m2.3")});
    EXPECT_EQ(Lines(out), implied.value());
    EXPECT_TRUE(out.starts_with(R"({"event":"setup","user":"m2","trial":3,"tick":0,)")) << out.substr(0, 200);
    EXPECT_EQ(Ok({"markers", Path("m2.3"), "--db", db_, "--out", "-"}), out);
    Ok({"markers", Path("m2.3"), "--out", Path("m2.3.markers")});
    EXPECT_EQ(ReadAll(Path("m2.3.markers")), out);

    // A log cut off (no STOP, before the end time) ends with its last record's marker.
    const ClockTime cutAt = CutLog("m2.3", 20);
    const std::vector<std::string> cut = Lines(Ok({"markers", Path("m2.3")}));
    ASSERT_FALSE(cut.empty());
    EXPECT_TRUE(cut.back().starts_with(R"({"event":"click",)")) << cut.back();
    EXPECT_TRUE(Has(cut.back(), "\"clock\":\"" + FormatClock(cutAt) + "\""));
    EXPECT_EQ(CountOf(cut, "click"), 20u);
}

TEST_F(MarkersCommandTest, RefusesALogWhoseNameTellsNoTrial)
{
    RecordTrial("m3", 1, 2);
    ASSERT_TRUE(QFile::copy(Q(Path("m3.1")), Q(Path("m3.log"))));
    ExpectFails({"markers", Path("m3.log")}, "does not say whose trial it is: it must be USERID.N");
    WriteFile(Path("m3.2"), "garbage\r\n");
    const auto bad = Run({"markers", Path("m3.2")});
    EXPECT_EQ(bad.status, ctl::ExitFailure);
    EXPECT_TRUE(Has(bad.err, "m3.2"));
    EXPECT_TRUE(bad.out.empty());
}

}  // namespace
}  // namespace kestu::markers::testing
