#include "db_fixture.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace kestu::testing {
namespace {

// The plant's column of each tank, left to right.
constexpr int Column[TankCount] = {1, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 5, 5};

int Seconds(ClockTime at) { return at.Minutes * 60 + at.Seconds; }

class StandardScenarioTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        CreateDb(NewDbContent::StandardScenario);
        auto read = ReadScenario();
        ASSERT_TRUE(read.ok()) << read.error();
        tables_ = std::move(read).value();
    }

    ScenarioTables tables_;
};

TEST_F(StandardScenarioTest, DeadlinesCoverTheTwelveLabelledTanksOnceAndEndAt8)
{
    std::multiset<int> tanks;
    for (const DeadlineRow& d : tables_.deadline) tanks.insert(d.TankNum);
    EXPECT_EQ(tanks, (std::multiset<int>{21, 22, 17, 18, 7, 8, 19, 20, 11, 12, 13, 14}));

    // The trial ends where the rows, in stored order, move the end time when
    // both their minute and their second are at least those of the end so far;
    // that must land on the latest deadline.
    int latest = 0;
    ClockTime end{0, 0};
    for (const DeadlineRow& d : tables_.deadline) {
        EXPECT_GT(d.ExpectAmt, 0) << "tank " << d.TankNum;
        EXPECT_GT(Seconds(d.At), 0) << "tank " << d.TankNum;
        latest = std::max(latest, Seconds(d.At));
        if (d.At.Minutes >= end.Minutes && d.At.Seconds >= end.Seconds) end = d.At;
    }
    EXPECT_EQ(latest, 8 * 60);
    EXPECT_EQ(end, (ClockTime{8, 0}));
}

TEST_F(StandardScenarioTest, ArrivalsStartAt0AndFollowEvery20To40Seconds)
{
    const auto& rows = tables_.exogenous;
    ASSERT_GE(rows.size(), 12u);
    EXPECT_EQ(Seconds(rows[0].At), 0);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const int gap = Seconds(rows[i].At) - Seconds(rows[i - 1].At);
        EXPECT_TRUE(gap >= 20 && gap <= 40) << "row " << i + 1 << ": " << gap;
    }
    EXPECT_GT(Seconds(rows.back().At), 7 * 60);
    EXPECT_LE(Seconds(rows.back().At), 8 * 60);
    for (const ArrivalRow& row : rows) {
        for (double amount : row.Water) EXPECT_GE(amount, 0);
    }
}

TEST_F(StandardScenarioTest, WaterFlowsColumnByColumnToTheRightAndOut)
{
    std::map<int, int> outletsPerHead;
    std::map<int, double> shareSum;
    std::set<int> fed;
    for (const OutletRow& o : tables_.sorttable) {
        ASSERT_GE(o.head, 0);
        ASSERT_LT(o.head, TankCount);
        ++outletsPerHead[o.head];
        shareSum[o.head] += o.sorta;
        EXPECT_GT(o.sorta, 0) << "tank " << o.head;
        if (o.head == 21 || o.head == 22) {
            EXPECT_EQ(o.tail, -1) << "tank " << o.head;
        }
        if (o.tail == -1) continue;
        EXPECT_GT(Column[o.tail], Column[o.head]) << o.head << " -> " << o.tail;
        fed.insert(o.tail);
    }

    for (const auto& [head, count] : outletsPerHead) EXPECT_LE(count, MaxOutlets) << "tank " << head;
    for (int tank = 1; tank < TankCount; ++tank) EXPECT_TRUE(fed.count(tank)) << "nothing flows into tank " << tank;
    for (int tank = 0; tank <= 20; ++tank) EXPECT_TRUE(outletsPerHead.count(tank)) << "tank " << tank << " has no outlet";
    for (const auto& [head, sum] : shareSum) EXPECT_LE(sum, 1.0) << "tank " << head;
    EXPECT_TRUE(std::any_of(shareSum.begin(), shareSum.end(), [](const auto& s) { return s.second < 1.0; }))
        << "some tank should lose part of its water";
}

TEST_F(StandardScenarioTest, TablesHaveTheColumnsExperimentersLoadByName)
{
    auto columns = [this](const std::string& table) {
        return Sql("SELECT group_concat(name, ' ') FROM pragma_table_info('" + table + "')").toString().toStdString();
    };
    EXPECT_EQ(columns("UserData"), "UserID FirstName LastName SchoolYear Major Age Sex TrialNum");
    EXPECT_EQ(columns("Experiments"),
              "UserID Experiment Date StartTime EndTime Scenario SimRate MissedBuckets BusyTime SweepTime IdleTime");
    EXPECT_EQ(columns("deadline"), "TankNum Hr Min ExpectAmt");
    EXPECT_EQ(columns("sorttable"), "head tail sorta");
    std::string exogenous = "Hr Min";
    for (int t = 0; t < TankCount; ++t) exogenous += " " + std::to_string(t);
    EXPECT_EQ(columns("exogenous"), exogenous);
}

}  // namespace
}  // namespace kestu::testing
