#include "db_fixture.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace kestu::testing {
namespace {

// The plant's column of each tank, left to right.
constexpr int Column[TankCount] = {1, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 5, 5};

int Seconds(int minute, int second) { return minute * 60 + second; }

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
    int latest = 0, endMinute = 0, endSecond = 0;
    for (const DeadlineRow& d : tables_.deadline) {
        EXPECT_GT(d.ExpectAmt, 0) << "tank " << d.TankNum;
        EXPECT_GT(Seconds(d.At.Minutes, d.At.Seconds), 0) << "tank " << d.TankNum;
        latest = std::max(latest, Seconds(d.At.Minutes, d.At.Seconds));
        if (d.At.Minutes >= endMinute && d.At.Seconds >= endSecond) {
            endMinute = d.At.Minutes;
            endSecond = d.At.Seconds;
        }
    }
    EXPECT_EQ(latest, Seconds(8, 0));
    EXPECT_EQ(Seconds(endMinute, endSecond), Seconds(8, 0));
}

TEST_F(StandardScenarioTest, ArrivalsStartAt0AndFollowEvery20To40Seconds)
{
    const auto& rows = tables_.exogenous;
    ASSERT_GE(rows.size(), 12u);
    EXPECT_EQ(Seconds(rows[0].At.Minutes, rows[0].At.Seconds), 0);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const int gap = Seconds(rows[i].At.Minutes, rows[i].At.Seconds) - Seconds(rows[i - 1].At.Minutes, rows[i - 1].At.Seconds);
        EXPECT_GE(gap, 20) << "row " << i + 1;
        EXPECT_LE(gap, 40) << "row " << i + 1;
    }
    const int last = Seconds(rows.back().At.Minutes, rows.back().At.Seconds);
    EXPECT_GT(last, Seconds(7, 0));
    EXPECT_LE(last, Seconds(8, 0));

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
        return SqlValue("SELECT group_concat(name, ' ') FROM pragma_table_info('" + table + "')").toString().toStdString();
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
