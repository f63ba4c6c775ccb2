// rescore pairs every row of the participant with one log by the row's whole
// trial number; rows sharing a number and logs no row names are disagreements.
#include "ctl_fixture.h"

#include <filesystem>

namespace kestu::ctl::testing {
namespace {

using RescorePairingTest = CtlTest;

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST_F(RescorePairingTest, RowsAndLogsThatDoNotPairUpAreEachReported)
{
    RecordTrial("p1", 1, 51);
    RecordTrial("p1", 2, 52);
    ASSERT_EQ(Run({"rescore", db_, "p1", "--all"}).status, ExitOk);

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
    EXPECT_EQ(Count(all.out, "trial 2 (" + Path("p1.2") + "): agrees"), 2u) << "each of the two rows is rescored";
    EXPECT_TRUE(Has(all.out, "trial 2: MISMATCH: 2 rows of User ID \"p1\" have this trial number"));
    EXPECT_TRUE(Has(all.out, "log " + Path("p1.1") + ": MISMATCH: no row of User ID \"p1\" has trial number 1\n"));
    EXPECT_TRUE(Has(all.out, "log " + Path("p1.7") + ": MISMATCH: no row of User ID \"p1\" has trial number 7\n"));
    EXPECT_EQ(Count(all.out, "\nlog "), 2u) << all.out;
    EXPECT_TRUE(Has(all.out, "3 trials: 2 agree, 1 disagree; 1 trial number on several rows; 2 logs without a row\n"));

    // One trial: its own rows only, and the whole number reaches it.
    const CommandResult big = Run({"rescore", db_, "p1", "4294967297"});
    EXPECT_EQ(big.status, ExitFailure);
    EXPECT_TRUE(Has(big.out, "trial 4294967297: MISMATCH"));
    EXPECT_EQ(Count(big.out, "\nlog "), 0u) << "logs without a row are looked for only with every trial";
    const CommandResult shared = Run({"rescore", db_, "p1", "2"});
    EXPECT_EQ(shared.status, ExitFailure);
    EXPECT_TRUE(Has(shared.out, "trial 2: MISMATCH: 2 rows"));
    EXPECT_TRUE(Has(shared.out, "2 trials: 2 agree, 0 disagree; 1 trial number on several rows\n"));

    // A number past 64 bits is refused, not wrapped around to a small one.
    const CommandResult huge = Run({"rescore", db_, "p1", "18446744073709551617"});
    EXPECT_EQ(huge.status, ExitUsage);
    EXPECT_TRUE(Has(huge.err, "TRIAL is a trial number"));
}

}  // namespace
}  // namespace kestu::ctl::testing
