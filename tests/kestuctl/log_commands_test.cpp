// The commands that read a trial log: log2csv, with the reading of state
// lines it rests on, and plot, a PNG of every tank's water with the deadlines
// marked, and its axes.
#include "ctl_fixture.h"

#include <QImage>

#include "kestuctl/chart_scale.h"
#include "kestuctl/tank_palette.h"
#include "kestuctl/water_chart.h"
#include "trials/trial_log.h"

namespace kestu::ctl::testing {
namespace {

using LogCommandTest = CtlTest;

// A two-record log written by the trial log's own writer functions.
std::string SmallLog()
{
    PlantState plant;
    for (int t = 0; t < TankCount; ++t) plant.Tanks[t].Water = t + 0.46;  // written as t.5
    plant.PumpState[17] = 1;
    std::string text;
    AppendHeaderLine(text, {5, 23}, "ON", 17);
    AppendStateLine(text, plant);
    plant.Tanks[0].Water = 0.04;   // written as 0
    plant.Tanks[22].Water = 0.46;  // written as .5
    plant.PumpState[17] = -3;
    AppendHeaderLine(text, {61, 0}, "STOP", 0);
    AppendStateLine(text, plant);
    return text;
}

TEST_F(LogCommandTest, OneRowPerRecordAndTankWithTheLoggedWaterAndABadLineNamedByFileAndLine)
{
    const std::string good = SmallLog();
    WriteFile(Path("u.1"), good);
    const std::vector<std::string> lines = Rows(Ok({"log2csv", Path("u.1")}));
    ASSERT_EQ(lines.size(), 1u + 2 * TankCount);
    EXPECT_EQ(lines[0] + " " + lines[1] + " " + lines[4] + " " + lines[23] + " " + lines[24] + " " + lines[46],
              "minute,second,kind,switch,tank,water 5,23,ON,17,0,0.5 5,23,ON,17,3,3.5 5,23,ON,17,22,22.5 "
              "61,0,STOP,0,0,0 61,0,STOP,0,22,0.5");

    // The reader's own words (tests/trials has every fault), with the file's name.
    std::string kind = good, water = good;
    kind.replace(kind.find(",\"STOP\","), 8, ",\"HALT\",");
    water.replace(water.find(",2,0,1.5,", water.find("\r\n") + 2), 9, ",2,0,x.5,");  // the first state line's tank 1
    WriteFile(Path("bad.1"), kind);
    ExpectFails({"log2csv", Path("bad.1")}, Path("bad.1") + ", line 3: field 3 (kind): \"HALT\" is none of");
    WriteFile(Path("bad.1"), water);
    ExpectFails({"log2csv", Path("bad.1")}, Path("bad.1") + ", line 2: field 9 (water of switch 2): \"x.5\" is not a number");
    ExpectFails({"log2csv", Path("none.1")}, Path("none.1") + ": the trial log cannot be opened");
}

// The PNG plot writes of a log, read back.
QImage Plot(const std::vector<std::string>& args)
{
    const std::string png = args[3];
    QFile::remove(Q(png));
    EXPECT_EQ(RunCtl(args).status, ExitOk);
    return QImage(Q(png)).convertToFormat(QImage::Format_RGB32);
}

int CountColour(const QImage& image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) count += (line[x] & 0xffffff) == (colour & 0xffffff);
    }
    return count;
}

// The dashed guides run the plot's height at each deadline time: hundreds
// of pixels, where a blend of antialiased lines may hit the colour a few times.
bool HasDeadlineGuides(const QImage& image) { return CountColour(image, DeadlineGuideColour) > 300; }

TEST_F(LogCommandTest, PlotDrawsEveryTankAndTheDeadlinesFromTheGivenOrTheLogsDatabaseAndFailuresNameTheFile)
{
    RecordTrial("p1", 1, 4);
    // Elsewhere, so only --db can supply the deadlines.
    ASSERT_TRUE(QDir().mkpath(Q(Path("logs"))));
    const std::string elsewhere = Path("logs/p1.1"), png = Path("chart.png");
    ASSERT_TRUE(QFile::copy(Q(Path("p1.1")), Q(elsewhere)));
    const QImage chart = Plot({"plot", elsewhere, "--png", png, "--db", db_});
    ASSERT_FALSE(chart.isNull());
    EXPECT_EQ(chart.size(), QSize(1600, 900));
    for (int tank = 0; tank < TankCount; ++tank) {
        EXPECT_GT(CountColour(chart, TankColour(tank).rgb()), 0) << "tank " << tank;
    }
    EXPECT_TRUE(HasDeadlineGuides(chart));
    EXPECT_FALSE(HasDeadlineGuides(Plot({"plot", elsewhere, "--png", png}))) << "no database, no deadlines";
    EXPECT_TRUE(HasDeadlineGuides(Plot({"plot", Path("p1.1"), "--png", png})));  // beside the database

    WriteFile(Path("bad.1"), "0,0,\"ON\"\r\n");
    ExpectFails({"plot", Path("bad.1"), "--png", Path("x.png")}, Path("bad.1") + ", line 1: not a record header");
    const std::string unwritable = Path("no/folder/x.png");
    ExpectFails({"plot", Path("p1.1"), "--png", unwritable}, unwritable + ": cannot be written");
}

TEST(ChartScale, TicksAreRoundAndCoverTheRange)
{
    EXPECT_EQ(NiceTicks(0, 143, 8), (std::vector<double>{0, 20, 40, 60, 80, 100, 120, 140, 160}));
    EXPECT_EQ(NiceTicks(0, 1, 5), (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1}));
    EXPECT_EQ(NiceTicks(0, 0.03, 3), (std::vector<double>{0, 0.01, 0.02, 0.03}));
    const auto negative = NiceTicks(-3, 48, 5);
    EXPECT_TRUE(negative.front() <= -3 && negative.back() >= 48 && negative[1] - negative[0] == 20);

    // Clock ticks fall on whole seconds or minutes.
    const auto eight = ClockTicks(480, 12), two = ClockTicks(7200, 12);
    EXPECT_EQ(std::vector<int>({eight.front(), eight[1], eight.back()}), std::vector<int>({0, 60, 480}));
    EXPECT_EQ(ClockTicks(50, 12)[1], 5);
    EXPECT_TRUE(two[1] == 600 && two.back() >= 7200);
}

}  // namespace
}  // namespace kestu::ctl::testing
