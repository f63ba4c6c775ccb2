// plot: a PNG of every tank's water with the deadlines marked, and its axes.
#include "ctl_fixture.h"

#include <QImage>

#include "kestuctl/chart_scale.h"
#include "kestuctl/tank_palette.h"
#include "kestuctl/water_chart.h"

namespace kestu::ctl::testing {
namespace {

class PlotTest : public CtlTest {
protected:
    QImage Plot(const std::vector<std::string>& extra)
    {
        const std::string png = Path("chart.png");
        QFile::remove(QString::fromStdString(png));
        std::vector<std::string> args = {"plot", log_, "--png", png};
        args.insert(args.end(), extra.begin(), extra.end());
        const CommandResult result = Run(args);
        EXPECT_EQ(result.status, ExitOk) << result.err;
        return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    }

    static int CountColour(const QImage& image, QRgb colour)
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
    static bool HasDeadlineGuides(const QImage& image) { return CountColour(image, DeadlineGuideColour) > 300; }
    std::string log_;
};

TEST_F(PlotTest, DrawsEveryTankAndTheDeadlinesFromTheGivenOrTheLogsDatabase)
{
    RecordTrial("p1", 1, 4);
    // Elsewhere, so only --db can supply the deadlines.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path("logs"))));
    log_ = Path("logs/p1.1");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(Path("p1.1")), QString::fromStdString(log_)));

    const QImage chart = Plot({"--db", db_});
    ASSERT_FALSE(chart.isNull());
    EXPECT_EQ(chart.size(), QSize(1600, 900));
    for (int tank = 0; tank < TankCount; ++tank) {
        EXPECT_GT(CountColour(chart, TankColour(tank).rgb()), 0) << "tank " << tank;
    }
    EXPECT_TRUE(HasDeadlineGuides(chart));
    EXPECT_FALSE(HasDeadlineGuides(Plot({}))) << "no database, no deadlines";

    log_ = Path("p1.1");  // beside the database
    EXPECT_TRUE(HasDeadlineGuides(Plot({})));
}

TEST_F(PlotTest, FailuresNameTheFile)
{
    WriteFile(Path("bad.1"), "0,0,\"ON\"\r\n");
    ExpectFails({"plot", Path("bad.1"), "--png", Path("x.png")}, Path("bad.1") + ", line 1: not a record header");
    RecordTrial("p1", 1, 4);
    const std::string unwritable = Path("no/folder/x.png");
    ExpectFails({"plot", Path("p1.1"), "--png", unwritable}, unwritable + ": cannot be written");
}

TEST(ChartScale, TicksAreRoundAndCoverTheRange)
{
    EXPECT_EQ(NiceTicks(0, 143, 8), (std::vector<double>{0, 20, 40, 60, 80, 100, 120, 140, 160}));
    EXPECT_EQ(NiceTicks(0, 1, 5), (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1}));
    const auto negative = NiceTicks(-3, 48, 5);
    EXPECT_LE(negative.front(), -3);
    EXPECT_GE(negative.back(), 48);
    EXPECT_EQ(negative[1] - negative[0], 20);
    EXPECT_EQ(NiceTicks(0, 0.03, 3), (std::vector<double>{0, 0.01, 0.02, 0.03}));

    // Clock ticks fall on whole seconds or minutes.
    const auto eightMinutes = ClockTicks(480, 12);
    EXPECT_EQ(eightMinutes.front(), 0);
    EXPECT_EQ(eightMinutes.back(), 480);
    EXPECT_EQ(eightMinutes[1], 60);
    EXPECT_EQ(ClockTicks(50, 12)[1], 5);
    const auto twoHours = ClockTicks(7200, 12);
    EXPECT_EQ(twoHours[1], 600);
    EXPECT_GE(twoHours.back(), 7200);
}

}  // namespace
}  // namespace kestu::ctl::testing
