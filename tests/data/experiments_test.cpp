#include "db_fixture.h"

namespace kestu::testing {
namespace {

ExperimentStart Start(const std::string& user, int trial)
{
    return {user, trial, "2024-03-05", "14:07:09", ExperimentStart{}.Scenario, 15};  // the default scenario
}

ExperimentResult End(const std::string& time)
{
    ExperimentResult end;
    end.EndTime = time;
    return end;
}

class ExperimentRowTest : public OpenDbTest {
protected:
    // A column, or an expression over the columns, of one row.
    QVariant Field(long long rowid, const std::string& expression)
    {
        return SqlValue("SELECT " + expression + " FROM \"Experiments\" WHERE rowid = " + std::to_string(rowid));
    }
};

TEST_F(ExperimentRowTest, StartRowHoldsWhatWasGivenAndNothingOfTheEnd)
{
    auto added = db_->AddExperiment(Start("o'brien", 3));
    ASSERT_TRUE(added.ok()) << added.error();
    const long long row = added.value();

    EXPECT_EQ(Field(row, "UserID || '|' || Experiment || '|' || Date || '|' || StartTime || '|' || Scenario").toString(),
              "o'brien|3|2024-03-05|14:07:09|Standard");
    EXPECT_DOUBLE_EQ(Field(row, "SimRate").toDouble(), 15.0);
    EXPECT_EQ(Field(row, "coalesce(EndTime, MissedBuckets, BusyTime, SweepTime, IdleTime, 'none')").toString(), "none");
}

TEST_F(ExperimentRowTest, CompleteFillsOnlyItsOwnRowWithAbsentSharesAsNull)
{
    const long long first = db_->AddExperiment(Start("ann", 1)).value();
    const long long second = db_->AddExperiment(Start("ann", 2)).value();
    ASSERT_NE(first, second);

    const ExperimentResult end{.EndTime = "14:22:10", .MissedBuckets = -3.5, .BusyTime = 1500.0 / 4500,
                               .SweepTime = 600.0 / 4500, .IdleTime = 1 - 2100.0 / 4500};
    auto done = db_->CompleteExperiment(second, end);
    ASSERT_TRUE(done.ok()) << done.error();

    EXPECT_EQ(Field(second, "EndTime").toString(), "14:22:10");
    EXPECT_DOUBLE_EQ(Field(second, "MissedBuckets").toDouble(), -3.5);
    EXPECT_DOUBLE_EQ(Field(second, "BusyTime").toDouble(), 1500.0 / 4500);
    EXPECT_DOUBLE_EQ(Field(second, "SweepTime").toDouble(), 600.0 / 4500);
    EXPECT_DOUBLE_EQ(Field(second, "IdleTime").toDouble(), 1 - 2100.0 / 4500);
    EXPECT_TRUE(Field(first, "EndTime").isNull());

    ASSERT_TRUE(db_->CompleteExperiment(first, End("14:30:00")).ok());
    EXPECT_EQ(Field(first, "typeof(MissedBuckets) || typeof(BusyTime) || typeof(SweepTime) || typeof(IdleTime)").toString(),
              "realnullnullnull");
}

TEST_F(ExperimentRowTest, RefusedWritesChangeNothing)
{
    // Malformed or impossible dates and times are refused before writing.
    ExperimentStart badDate = Start("ann", 1);
    badDate.Date = "05.03.2024";
    ExperimentStart impossibleDate = Start("ann", 1);
    impossibleDate.Date = "2024-02-30";
    ExperimentStart badTime = Start("ann", 1);
    badTime.StartTime = "2:07 PM";
    for (const ExperimentStart& start : {badDate, impossibleDate, badTime}) {
        EXPECT_FALSE(db_->AddExperiment(start).ok()) << start.Date << " " << start.StartTime;
    }
    EXPECT_EQ(Count("Experiments"), 0);

    const long long row = db_->AddExperiment(Start("ann", 1)).value();
    EXPECT_FALSE(db_->CompleteExperiment(row, End("25:00:00")).ok());
    EXPECT_TRUE(Field(row, "EndTime").isNull());

    // Completing a row that is gone names the file and the table.
    Sql("DELETE FROM \"Experiments\"");
    auto done = db_->CompleteExperiment(row, End("09:00:00"));
    ASSERT_FALSE(done.ok());
    EXPECT_NE(done.error().find(path_), std::string::npos) << done.error();
    EXPECT_NE(done.error().find("Experiments"), std::string::npos) << done.error();
    EXPECT_EQ(Count("Experiments"), 0);
}

}  // namespace
}  // namespace kestu::testing

namespace kestu::testing {
namespace {

// Rows edited by hand: a trial number is whole and fits 64 bits, or it is none.
TEST_F(OpenDbTest, TrialNumbersReadBackWholeOrNotAtAll)
{
    for (const char* value : {"7", "'12'", "4294967297", "1.5", "1e19", "'x'"})
        Sql(std::string("INSERT INTO Experiments (UserID, Experiment) VALUES ('ann', ") + value + ")");
    auto rows = db_->ReadExperimentRows("ann");
    ASSERT_TRUE(rows.ok()) << rows.error();
    std::vector<std::optional<long long>> got;
    for (const ExperimentRow& row : rows.value()) got.push_back(row.Experiment);
    const std::vector<std::optional<long long>> expected = {7, 12, 4294967297LL, std::nullopt, std::nullopt,
                                                            std::nullopt};
    EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace kestu::testing
