#include "db_fixture.h"

namespace kestu::testing {
namespace {

ExperimentStart Start(const std::string& user, int trial)
{
    ExperimentStart s;
    s.UserID = user;
    s.Experiment = trial;
    s.Date = "2024-03-05";
    s.StartTime = "14:07:09";
    s.SimRate = 15;
    return s;
}

class ExperimentRowTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        CreateDb();
        db_ = OpenDb();
        ASSERT_NE(db_, nullptr);
    }

    QVariant Field(long long rowid, const std::string& column)
    {
        return SqlValue("SELECT \"" + column + "\" FROM \"Experiments\" WHERE rowid = " + std::to_string(rowid));
    }

    std::unique_ptr<ExperimentDb> db_;
};

TEST_F(ExperimentRowTest, StartRowHoldsWhatWasGivenAndNothingOfTheEnd)
{
    auto added = db_->AddExperiment(Start("o'brien", 3));
    ASSERT_TRUE(added.ok()) << added.error();
    const long long row = added.value();

    EXPECT_EQ(Field(row, "UserID").toString(), "o'brien");
    EXPECT_EQ(Field(row, "Experiment").toInt(), 3);
    EXPECT_EQ(Field(row, "Date").toString(), "2024-03-05");
    EXPECT_EQ(Field(row, "StartTime").toString(), "14:07:09");
    EXPECT_EQ(Field(row, "Scenario").toString(), "Standard");
    EXPECT_DOUBLE_EQ(Field(row, "SimRate").toDouble(), 15.0);
    for (const char* column : {"EndTime", "MissedBuckets", "BusyTime", "SweepTime", "IdleTime"}) {
        EXPECT_TRUE(Field(row, column).isNull()) << column;
    }
}

TEST_F(ExperimentRowTest, CompleteFillsOnlyItsOwnRowWithAbsentSharesAsNull)
{
    const long long first = db_->AddExperiment(Start("ann", 1)).value();
    const long long second = db_->AddExperiment(Start("ann", 2)).value();
    ASSERT_NE(first, second);

    ExperimentResult end;
    end.EndTime = "14:22:10";
    end.MissedBuckets = -3.5;
    end.BusyTime = 1500.0 / 4500;
    end.SweepTime = 600.0 / 4500;
    end.IdleTime = 1 - 2100.0 / 4500;
    auto done = db_->CompleteExperiment(second, end);
    ASSERT_TRUE(done.ok()) << done.error();

    EXPECT_EQ(Field(second, "EndTime").toString(), "14:22:10");
    EXPECT_DOUBLE_EQ(Field(second, "MissedBuckets").toDouble(), -3.5);
    EXPECT_DOUBLE_EQ(Field(second, "BusyTime").toDouble(), 1500.0 / 4500);
    EXPECT_DOUBLE_EQ(Field(second, "SweepTime").toDouble(), 600.0 / 4500);
    EXPECT_DOUBLE_EQ(Field(second, "IdleTime").toDouble(), 1 - 2100.0 / 4500);
    EXPECT_TRUE(Field(first, "EndTime").isNull());

    ExperimentResult noShares;
    noShares.EndTime = "14:30:00";
    noShares.MissedBuckets = 0;
    ASSERT_TRUE(db_->CompleteExperiment(first, noShares).ok());
    auto type = [&](const std::string& column) {
        return SqlValue("SELECT typeof(\"" + column + "\") FROM \"Experiments\" WHERE rowid = " + std::to_string(first))
            .toString();
    };
    EXPECT_EQ(type("MissedBuckets"), "real");
    EXPECT_EQ(type("BusyTime"), "null");
    EXPECT_EQ(type("SweepTime"), "null");
    EXPECT_EQ(type("IdleTime"), "null");
}

TEST_F(ExperimentRowTest, CompletingARowThatIsGoneIsAnError)
{
    const long long row = db_->AddExperiment(Start("ann", 1)).value();
    Sql("DELETE FROM \"Experiments\"");

    ExperimentResult end;
    end.EndTime = "09:00:00";
    auto done = db_->CompleteExperiment(row, end);
    ASSERT_FALSE(done.ok());
    EXPECT_NE(done.error().find(path_), std::string::npos) << done.error();
    EXPECT_NE(done.error().find("Experiments"), std::string::npos) << done.error();
    EXPECT_EQ(SqlValue("SELECT count(*) FROM \"Experiments\"").toInt(), 0);
}

TEST_F(ExperimentRowTest, MalformedDatesAndTimesAreRefusedBeforeWriting)
{
    ExperimentStart badDate = Start("ann", 1);
    badDate.Date = "05.03.2024";
    ExperimentStart impossibleDate = Start("ann", 1);
    impossibleDate.Date = "2024-02-30";
    ExperimentStart badTime = Start("ann", 1);
    badTime.StartTime = "2:07 PM";
    for (const ExperimentStart& start : {badDate, impossibleDate, badTime}) {
        auto added = db_->AddExperiment(start);
        EXPECT_FALSE(added.ok()) << start.Date << " " << start.StartTime;
    }
    EXPECT_EQ(SqlValue("SELECT count(*) FROM \"Experiments\"").toInt(), 0);

    const long long row = db_->AddExperiment(Start("ann", 1)).value();
    ExperimentResult end;
    end.EndTime = "25:00:00";
    EXPECT_FALSE(db_->CompleteExperiment(row, end).ok());
    EXPECT_TRUE(Field(row, "EndTime").isNull());
}

}  // namespace
}  // namespace kestu::testing
