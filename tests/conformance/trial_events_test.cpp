// The event stream of the reference trials, checked against their logs: what
// an observer learns of a trial is what its log records, at the same moment.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <vector>

#include "conformance/case_runner.h"
#include "trials/log_reader.h"

namespace kestu::testing {
namespace {

struct Recorder : TrialObserver {
    std::vector<TrialEvent> events;
    void OnTrialEvent(const TrialEvent& event) override { events.push_back(event); }
};

// The events a log record stands for: a click's status, a snapshot, the close.
bool Marks(const TrialEvent& e)
{
    return e.Kind == TrialEventKind::SwitchClicked || e.Kind == TrialEventKind::SnapshotSaved ||
           e.Kind == TrialEventKind::SnapshotRestored || e.Kind == TrialEventKind::Ended ||
           e.Kind == TrialEventKind::StoppedEarly;
}

std::vector<TrialEvent> MarkEvents(const std::vector<TrialEvent>& all)
{
    std::vector<TrialEvent> marks;
    for (const TrialEvent& e : all)
        if (Marks(e)) marks.push_back(e);
    return marks;
}

bool Matches(const LogRecord& record, const TrialEvent& e)
{
    switch (record.Kind) {
    case LogKind::Save: return e.Kind == TrialEventKind::SnapshotSaved;
    case LogKind::Restore: return e.Kind == TrialEventKind::SnapshotRestored;
    case LogKind::Stop: return e.Kind == TrialEventKind::Ended || e.Kind == TrialEventKind::StoppedEarly;
    default:
        return e.Kind == TrialEventKind::SwitchClicked && e.Switch == record.Switch &&
               KindOf(e.Status) == record.Kind;
    }
}

class TrialEventsTest : public ::testing::TestWithParam<std::string> {};

TEST_P(TrialEventsTest, EveryRecordHasItsEventAndTheDeadlinesAddUpToTheResult)
{
    const std::string caseDir = std::string(KESTU_CONFORMANCE_DIR) + "/" + GetParam();
    ScenarioTables tables;
    std::vector<conformance::ScriptEvent> script;
    ASSERT_EQ(conformance::LoadCase(caseDir, tables, script), "");
    QTemporaryDir work;
    Recorder trial;
    const auto out = conformance::RunCase(tables, script, work.path().toStdString(), &trial);

    TrialLogReader log;
    ASSERT_TRUE(log.OpenText("U.1", out.trialLog).ok());
    const std::vector<TrialEvent> live = MarkEvents(trial.events);
    ASSERT_EQ(live.size(), log.RecordCount());
    // A record's tick as the log implies it: the seconds since the setup,
    // counted on from the press across a restore, whose clock goes back.
    ClockTime from = tables.exogenous.front().At, held;
    long long fromTick = 0;
    for (std::size_t i = 0; i < live.size(); ++i) {
        const LogRecord record = log.ReadLogRecord();
        SCOPED_TRACE("record " + std::to_string(i + 1));
        const long long tick = fromTick + record.At.TotalSeconds() - from.TotalSeconds();
        EXPECT_TRUE(Matches(record, live[i]));
        EXPECT_EQ(live[i].Clock, record.At);
        EXPECT_EQ(live[i].Tick, tick);
        EXPECT_EQ(live[i].Trial.UserID, "U");
        EXPECT_EQ(live[i].Trial.TrialNum, 1);
        if (record.Kind == LogKind::Save) held = record.At;
        if (record.Kind == LogKind::Restore) {
            EXPECT_EQ(live[i].RestoredTo, held);
            from = held;
            fromTick = tick;
        }
    }

    // Each judgement books its buckets; a restore puts the snapshot's total back.
    long long total = 0;
    long long lastTick = 0;
    for (const TrialEvent& e : trial.events) {
        EXPECT_GE(e.Tick, lastTick) << "ticks never go back, not even across a restore";
        lastTick = e.Tick;
        if (e.Kind == TrialEventKind::DeadlineJudged) {
            EXPECT_EQ(e.Missed, e.Owed);
            total += e.Missed;
            EXPECT_EQ(e.MissedTotal, total);
        }
        if (e.Kind == TrialEventKind::SnapshotRestored) total = e.MissedTotal;
    }
    const QJsonObject results = QJsonDocument::fromJson(QByteArray::fromStdString(out.resultsJson)).object();
    EXPECT_EQ(total, results["MissedBuckets"].toInteger());
    ASSERT_FALSE(trial.events.empty());
    EXPECT_EQ(trial.events.front().Kind, TrialEventKind::SetUp);
}

INSTANTIATE_TEST_SUITE_P(ReferenceTrials, TrialEventsTest,
                         ::testing::Values("case_0001", "case_0005", "case_0007", "case_0101", "case_0203"));

}  // namespace
}  // namespace kestu::testing
