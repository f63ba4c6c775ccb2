// log2csv --every-tick writes the plant of every tick of a replay, as the
// analysis library keeps it.
#include "ctl_fixture.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "analysis/csv.h"
#include "analysis/logged_trial.h"
#include "analysis/plain_number.h"
#include "analysis/tick_series.h"
#include "kestuctl/load_scenario.h"

namespace kestu::ctl::testing {
namespace {

using namespace analysis;

class TickSeriesTest : public CtlTest {
protected:
    // A reference trial: saved at 00:37, restored at 01:25 (back to 00:37),
    // saved again at 01:03, played on to its end at 04:05. Its clicks all
    // fell between ticks, so its replay goes through the very states it logged.
    const std::string caseDir = std::string(KESTU_CONFORMANCE_DIR) + "/case_0202";
    const std::string referenceDb = caseDir + "/scenario.sqlite";
    const std::string referenceLog = caseDir + "/U.1";
};

TEST_F(TickSeriesTest, Log2csvEveryTickWritesTheSeriesOneRowPerTickAndTank)
{
    const auto log = ReadTrialLog(referenceLog);
    ASSERT_TRUE(log) << log.error();
    const auto replayed = ReplayTickSeries(Scenario(referenceDb), log.value());
    ASSERT_TRUE(replayed) << replayed.error();
    const TickSeries& series = replayed.value();
    const auto read = ReadCsv(Ok({"log2csv", referenceLog, "--every-tick", "--db", referenceDb}));
    ASSERT_TRUE(read) << read.error();
    const std::vector<CsvRow>& rows = read.value();
    ASSERT_EQ(rows.size(), 1 + TankCount * series.rows.size());
    EXPECT_EQ(rows[0].fields,
              (std::vector<std::string>{"tick", "minute", "second", "mark", "tank", "water", "missed"}));

    std::map<std::pair<long long, int>, int> owed;
    for (const JudgedDeadline& j : series.judged) owed[{j.tick, j.tank}] = j.owed;
    int restores = 0, missed = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string>& f = rows[i].fields;
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
