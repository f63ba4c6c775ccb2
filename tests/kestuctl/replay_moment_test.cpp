// replay --tick / --at: the plant at one moment of a trial, sought through
// the core, is the plant log2csv --every-tick shows at that tick.
#include "ctl_fixture.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "analysis/csv.h"
#include "analysis/plain_number.h"

namespace kestu::ctl::testing {
namespace {

class ReplayMomentTest : public CtlTest {
protected:
    // A reference trial saved at 00:37 and restored at 01:25, back to 00:37.
    const std::string caseDir = std::string(KESTU_CONFORMANCE_DIR) + "/case_0202";
    const std::string referenceDb = caseDir + "/scenario.sqlite";
    const std::string referenceLog = caseDir + "/U.1";

    QJsonObject Moment(const std::vector<std::string>& where)
    {
        std::vector<std::string> args = {"replay", referenceDb, referenceLog, "--json"};
        args.insert(args.end(), where.begin(), where.end());
        return QJsonDocument::fromJson(QByteArray::fromStdString(Ok(args))).object();
    }
};

TEST_F(ReplayMomentTest, ATickOrAClockTimeGivesThePlantThereAsTheEveryTickSeriesHasIt)
{
    const auto csv = analysis::ReadCsv(Ok({"log2csv", referenceLog, "--every-tick", "--db", referenceDb}));
    ASSERT_TRUE(csv) << csv.error();
    const auto& rows = csv.value();
    for (long long tick : {0LL, 37LL, 60LL, 61LL, 130LL}) {
        SCOPED_TRACE("tick " + std::to_string(tick));
        const QJsonObject moment = Moment({"--tick", std::to_string(tick)});
        EXPECT_EQ(moment["tick"].toInteger(), tick);
        const QJsonArray water = moment["water"].toArray();
        ASSERT_EQ(water.size(), TankCount);
        for (int t = 0; t < TankCount; ++t) {
            const auto& row = rows[1 + static_cast<std::size_t>(tick) * TankCount + t].fields;
            ASSERT_EQ(row[0], std::to_string(tick));
            EXPECT_EQ(water[t].toDouble(), analysis::ParsePlainNumber(row[5]).value()) << "tank " << t;
        }
        EXPECT_EQ(moment["switches"].toArray().size(), SwitchCount);
    }
    // 00:40 comes twice, before the restore and after it: the first is meant.
    const QJsonObject at = Moment({"--at", "00:40"});
    EXPECT_EQ(at["clock"].toString(), "00:40");
    EXPECT_EQ(at["tick"].toInteger(), Moment({"--tick", std::to_string(at["tick"].toInteger())})["tick"].toInteger());
    EXPECT_LT(at["tick"].toInteger(), 48) << "the first 00:40 comes before the restore at 01:25";

    const std::string text = Ok({"replay", referenceDb, referenceLog, "--at", "01:00"});
    EXPECT_TRUE(Has(text, "U.1 at 01:00 (tick "));
    EXPECT_TRUE(Has(text, "missed so far: "));
    EXPECT_TRUE(Has(text, "pumps in use: "));
    ExpectFails({"replay", referenceDb, referenceLog, "--tick", "100000"}, "before tick 100000");
    ExpectFails({"replay", referenceDb, referenceLog, "--at", "59:00"}, "never shows 59:00");
    EXPECT_EQ(Run({"replay", referenceDb, referenceLog, "--at", "1:5"}).status, ExitUsage);
    EXPECT_EQ(Run({"replay", referenceDb, referenceLog, "--tick", "3", "--at", "00:40"}).status, ExitUsage);
}

}  // namespace
}  // namespace kestu::ctl::testing
