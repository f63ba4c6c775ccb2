// The plant of every tick of a replay, checked against the trial's own log
// and the replay's score.
#include "analysis_fixture.h"

#include <algorithm>
#include <array>
#include <optional>

#include "analysis/tick_series.h"
#include "trials/number_text.h"

namespace kestu::analysis::testing {
namespace {

// Water as a state line of the log holds it, and as the snapshot file does.
double AsLogged(double water)
{
    std::string text;
    AppendWaterTenths(text, water);
    return ParseNumber(text).value_or(-1);
}
double AsSnapshotHolds(double water) { return ParseNumber(FormatNumber(water)).value_or(-1); }

bool HasMark(const TickRow& row, LogKind kind)
{
    return std::ranges::any_of(row.marks, [kind](const SeriesMark& m) { return m.kind == kind; });
}

class TickSeriesTest : public AnalysisTest {
protected:
    // A reference trial: saved at 00:37, restored at 01:25 (back to 00:37),
    // saved again at 01:03, played on to its end at 04:05. Its clicks all
    // fell between ticks, so its replay goes through the very states it logged.
    const std::string caseDir = std::string(KESTU_CONFORMANCE_DIR) + "/case_0202";
    const std::string referenceDb = caseDir + "/scenario.sqlite";
    const std::string referenceLog = caseDir + "/U.1";
};

TEST_F(TickSeriesTest, AReplayWithARestoreKeepsEveryTickAgreesWithItsLogAndScoresWhatItJudged)
{
    const auto log = ReadTrialLog(referenceLog);
    ASSERT_TRUE(log) << log.error();
    const auto replayed = ReplayTickSeries(Scenario(referenceDb), log.value());
    ASSERT_TRUE(replayed) << replayed.error();
    const TickSeries& series = replayed.value();
    EXPECT_FALSE(series.replay.endedByStop);
    ASSERT_EQ(series.rows.size(), static_cast<std::size_t>(series.replay.trial.ticks) + 1);

    // Each record's state line is the plant of the step that applied it; a
    // restore's line shows the plant it left, so it is checked below instead.
    const auto read = ReadLoggedTrial(log.value());
    ASSERT_TRUE(read) << read.error();
    const std::vector<LoggedRecord>& records = read.value();
    std::size_t next = 0;
    for (const TickRow& row : series.rows) {
        EXPECT_EQ(row.tick, static_cast<long long>(&row - series.rows.data())) << "the ticks run on, never back";
        for (int k = 0; k < row.recordsApplied; ++k) {
            ASSERT_LT(next, records.size());
            const LoggedRecord& record = records[next++];
            if (record.Kind == LogKind::Restore) continue;
            EXPECT_EQ(FormatClock(row.clock), FormatClock(record.At)) << "record " << next;
            for (int t = 0; t < TankCount; ++t)
                EXPECT_EQ(AsLogged(row.water[t]), record.Water[t]) << "record " << next << ", tank " << t;
        }
    }
    EXPECT_EQ(next, records.size()) << "every record is applied";

    // A restore goes back to the last save: its clock and its water as the snapshot file holds it.
    std::vector<std::string> marks;
    const TickRow* saved = nullptr;
    for (const TickRow& row : series.rows) {
        for (const SeriesMark& mark : row.marks)
            marks.push_back(std::string(LogWord(mark.kind)) + " " + FormatClock(mark.clock));
        if (HasMark(row, LogKind::Save)) saved = &row;
        if (!HasMark(row, LogKind::Restore)) continue;
        ASSERT_TRUE(saved);
        EXPECT_EQ(row.clock, saved->clock);
        EXPECT_LT(row.clock, series.rows[row.tick - 1].clock) << "the clock goes back";
        for (int t = 0; t < TankCount; ++t) EXPECT_EQ(row.water[t], AsSnapshotHolds(saved->water[t])) << "tank " << t;
    }
    EXPECT_EQ(marks, (std::vector<std::string>{"FF 00:37", "FFR 00:37", "FF 01:03", "STOP 04:05"}));

    // The judged deadlines are the replay's score, each judged on its tank's deadline.
    const MissedTally& missed = series.replay.trial.missed;
    std::array<std::optional<int>, TankCount> perTank{};
    long long total = 0;
    for (const JudgedDeadline& j : series.judged) {
        total += j.owed;
        perTank[j.tank] = j.owed;
        EXPECT_EQ(j.clock, series.rows[j.tick - 1].clock) << "judged in the tick that starts at its clock";
    }
    EXPECT_FALSE(series.judged.empty());
    EXPECT_EQ(total, missed.Total);
    EXPECT_EQ(perTank, missed.PerTank);
}

TEST_F(TickSeriesTest, AStoppedTrialEndsOnItsStopAndJudgesNoDeadlineAfterIt)
{
    const auto whole = ReadTrialLog(referenceLog);
    ASSERT_TRUE(whole) << whole.error();
    // At 02:12: after the restore and the first deadlines, before the rest.
    const TrialLogText log{"U.1", StoppedEarly(whole.value().text, 18)};
    const auto read = ReadLoggedTrial(log);
    ASSERT_TRUE(read) << read.error();
    const ClockTime stop = read.value().back().At;
    const ScenarioTables scenario = Scenario(referenceDb);
    ASSERT_TRUE(std::ranges::any_of(scenario.deadline, [&](const DeadlineRow& d) { return d.At > stop; }));

    const auto replayed = ReplayTickSeries(scenario, log);
    ASSERT_TRUE(replayed) << replayed.error();
    const TickSeries& series = replayed.value();
    EXPECT_TRUE(series.replay.endedByStop);
    ASSERT_EQ(series.rows.size(), static_cast<std::size_t>(series.replay.trial.ticks) + 1);
    EXPECT_EQ(series.rows.back().clock, stop);
    EXPECT_TRUE(HasMark(series.rows.back(), LogKind::Stop));
    EXPECT_FALSE(series.judged.empty());
    for (const JudgedDeadline& j : series.judged) EXPECT_LE(j.clock, stop) << "tank " << j.tank;
}

}  // namespace
}  // namespace kestu::analysis::testing
