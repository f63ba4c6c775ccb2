// baseline: reproducible for a seed whatever the number of jobs, and the
// summary statistics it prints.
#include "ctl_fixture.h"

#include <set>

#include "kestuctl/baseline_runner.h"
#include "kestuctl/distribution.h"

namespace kestu::ctl::testing {
namespace {

using BaselineTest = CtlTest;

TEST_F(BaselineTest, TheSameSeedGivesTheSameReportForAnyNumberOfJobsAndWritesNothing)
{
    const QStringList files = FilesInFolder();
    const std::string rows = Dump("Experiments") + Dump("UserData");
    const std::string one = Ok({"baseline", db_, "--trials", "40", "--seed", "7", "--jobs", "1"});
    for (const char* jobs : {"2", "3", "8"}) EXPECT_EQ(Ok({"baseline", db_, "--trials", "40", "--seed", "7", "--jobs", jobs}), one) << jobs;
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

TEST(TrialSeed, SpreadsNeighbouringIndicesApart)
{
    std::set<std::uint64_t> seeds;
    for (std::uint64_t i = 0; i < 1000; ++i) seeds.insert(TrialSeed(1, i));
    EXPECT_EQ(seeds.size(), 1000u);
    EXPECT_NE(TrialSeed(5, 3), TrialSeed(6, 3));
}

TEST(Describe, GivesMeanSampleSdAndInterpolatedQuartilesForAnySample)
{
    // Each: count, mean, min, q1, median, q3, max; the sd has n - 1 in its denominator.
    const auto summary = [](const Distribution& d) {
        return std::vector<double>{double(d.count), d.mean, d.min, d.q1, d.median, d.q3, d.max};
    };
    const Distribution even = Describe({4, 1, 3, 2});
    EXPECT_EQ(summary(even), (std::vector<double>{4, 2.5, 1, 1.75, 2.5, 3.25, 4}));
    EXPECT_NEAR(even.sd, 1.2909944487358056, 1e-12);  // sqrt(5/3)
    EXPECT_EQ(summary(Describe({10, 0, 5, 20, 15})), (std::vector<double>{5, 10, 0, 5, 10, 15, 20}));

    // Tiny samples, and a large common offset that must not swamp a small spread.
    EXPECT_EQ(summary(Describe({7})), (std::vector<double>{1, 7, 7, 7, 7, 7, 7}));
    EXPECT_EQ(Describe({7}).sd, 0);
    EXPECT_EQ(Describe({}).count, 0u);
    const Distribution offset = Describe({1e9 + 1, 1e9 + 2, 1e9 + 3});
    EXPECT_NEAR(offset.sd, 1, 1e-6);
}

}  // namespace
}  // namespace kestu::ctl::testing
