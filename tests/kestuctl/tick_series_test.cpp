// The plant of every tick of a replay, checked against the trial's own log
// and the replay's score; log2csv --every-tick writes it out.
#include "ctl_fixture.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "kestuctl/csv.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/logged_trial.h"
#include "kestuctl/plain_number.h"
#include "kestuctl/tick_series.h"
#include "trials/number_text.h"

namespace kestu::ctl::testing {
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

class TickSeriesTest : public CtlTest {
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
    const TickSeries series = ReplayTickSeries(Scenario(referenceDb), referenceLog);
    ASSERT_EQ(series.replay.error, "");
    EXPECT_FALSE(series.replay.endedByStop);
    ASSERT_EQ(series.rows.size(), static_cast<std::size_t>(series.replay.trial.ticks) + 1);

    // Each record's state line is the plant of the step that applied it; a
    // restore's line shows the plant it left, so it is checked below instead.
    const LoggedTrial logged = ReadLoggedTrial(referenceLog);
    ASSERT_EQ(logged.error, "");
    std::size_t next = 0;
    for (const TickRow& row : series.rows) {
        EXPECT_EQ(row.tick, static_cast<long long>(&row - series.rows.data())) << "the ticks run on, never back";
        for (int k = 0; k < row.recordsApplied; ++k) {
            ASSERT_LT(next, logged.records.size());
            const LoggedRecord& record = logged.records[next++];
            if (record.Kind == LogKind::Restore) continue;
            EXPECT_EQ(FormatClock(row.clock), FormatClock(record.At)) << "record " << next;
            for (int t = 0; t < TankCount; ++t)
                EXPECT_EQ(AsLogged(row.water[t]), record.Water[t]) << "record " << next << ", tank " << t;
        }
    }
    EXPECT_EQ(next, logged.records.size()) << "every record is applied";

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
    std::filesystem::copy_file(referenceLog, Path("U.1"));
    StopLogEarly("U.1", 18);  // at 02:12: after the restore and the first deadlines, before the rest
    const ClockTime stop = ReadLoggedTrial(Path("U.1")).records.back().At;
    const ScenarioTables scenario = Scenario(referenceDb);
    ASSERT_TRUE(std::ranges::any_of(scenario.deadline, [&](const DeadlineRow& d) { return d.At > stop; }));

    const TickSeries series = ReplayTickSeries(scenario, Path("U.1"));
    ASSERT_EQ(series.replay.error, "");
    EXPECT_TRUE(series.replay.endedByStop);
    ASSERT_EQ(series.rows.size(), static_cast<std::size_t>(series.replay.trial.ticks) + 1);
    EXPECT_EQ(series.rows.back().clock, stop);
    EXPECT_TRUE(HasMark(series.rows.back(), LogKind::Stop));
    EXPECT_FALSE(series.judged.empty());
    for (const JudgedDeadline& j : series.judged) EXPECT_LE(j.clock, stop) << "tank " << j.tank;
}

TEST_F(TickSeriesTest, Log2csvEveryTickWritesTheSeriesOneRowPerTickAndTank)
{
    const TickSeries series = ReplayTickSeries(Scenario(referenceDb), referenceLog);
    const CsvText csv = ReadCsv(Ok({"log2csv", referenceLog, "--every-tick", "--db", referenceDb}));
    ASSERT_EQ(csv.error, "");
    ASSERT_EQ(csv.rows.size(), 1 + TankCount * series.rows.size());
    EXPECT_EQ(csv.rows[0].fields,
              (std::vector<std::string>{"tick", "minute", "second", "mark", "tank", "water", "missed"}));

    std::map<std::pair<long long, int>, int> owed;
    for (const JudgedDeadline& j : series.judged) owed[{j.tick, j.tank}] = j.owed;
    int restores = 0, missed = 0;
    for (std::size_t i = 1; i < csv.rows.size(); ++i) {
        const std::vector<std::string>& f = csv.rows[i].fields;
        const TickRow& row = series.rows[(i - 1) / TankCount];
        const int tank = static_cast<int>((i - 1) % TankCount);
        ASSERT_EQ(f.size(), 7u) << "row " << i;
        EXPECT_EQ((std::vector<std::string>{f[0], f[1], f[2], f[4]}),
                  (std::vector<std::string>{std::to_string(row.tick), std::to_string(row.clock.Minutes),
                                            std::to_string(row.clock.Seconds), std::to_string(tank)}));
        EXPECT_EQ(ParsePlainNumber(f[5]), row.water[tank]) << "row " << i;
        const auto judged = owed.find({row.tick, tank});
        EXPECT_EQ(f[6], judged == owed.end() ? "" : std::to_string(judged->second)) << "row " << i;
        restores += f[3] == "FFR";
        missed += !f[6].empty();
    }
    EXPECT_EQ(restores, TankCount);
    EXPECT_EQ(missed, static_cast<int>(series.judged.size()));

    // The reference folder holds no KESTU.MDB; and --db alone is not for the plain table.
    ExpectFails({"log2csv", referenceLog, "--every-tick"}, NoDatabaseForLog);
    EXPECT_EQ(Run({"log2csv", referenceLog, "--db", referenceDb}).status, ExitUsage);
}

}  // namespace
}  // namespace kestu::ctl::testing
