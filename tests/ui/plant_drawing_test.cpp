// The plant drawing's model and layout: pipe segments by tank, lamps, and
// the five-column arrangement without parts lying on top of each other.
#include <gtest/gtest.h>

#include <map>

#include "ui/plant_layout.h"
#include "ui/plant_model.h"

namespace kestu::ui {
namespace {

const PlantLayout& Layout() { return PlantLayout::Standard(); }

TEST(PlantLayoutTest, EachTankHasItsPipeSegments)
{
    const std::map<int, int> expected = {{0, 4},  {1, 8},  {2, 8},  {3, 2},  {4, 2},  {5, 2},  {6, 2},  {7, 1},
                                         {8, 1},  {9, 2},  {10, 2}, {11, 1}, {12, 1}, {13, 1}, {14, 1}, {15, 2},
                                         {16, 2}, {17, 1}, {18, 1}, {19, 1}, {20, 1}, {21, 1}, {22, 1}};
    std::map<int, int> counted;
    for (const PipeSegment& s : Layout().Segments()) {
        EXPECT_EQ(s.index, counted[s.region]) << "tank " << s.region << ": indices in order from 0";
        ++counted[s.region];
    }
    EXPECT_EQ(counted, expected);
    EXPECT_EQ(Layout().Segments().size(), 48u);
}

TEST(PlantLayoutTest, TanksStandInFiveColumns)
{
    auto x = [](int t) { return Layout().TankOutline(t).left(); };
    auto top = [](int t) { return Layout().TankOutline(t).top(); };
    const std::vector<std::vector<int>> columns = {
        {0}, {1, 2}, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, {15, 16, 17, 18, 19, 20}, {21, 22}};
    for (std::size_t c = 0; c < columns.size(); ++c) {
        for (int t : columns[c]) {
            EXPECT_EQ(x(t), x(columns[c][0])) << "tank " << t;
            if (c > 0) {
                EXPECT_GT(x(t), x(columns[c - 1][0]) + TankOutlineWidth) << "tank " << t;
            }
        }
        for (std::size_t i = 1; i < columns[c].size(); ++i)
            EXPECT_GE(top(columns[c][i]), Layout().TankOutline(columns[c][i - 1]).bottom()) << "top to bottom";
    }
    // Tank 0 at mid height, between the two tanks it feeds.
    EXPECT_GT(top(0), top(1));
    EXPECT_LT(top(0), top(2));
    EXPECT_NEAR(Layout().TankOutline(0).center().y(), DesignHeight / 2, DesignHeight / 10);
}

TEST(PlantLayoutTest, TheFillSitsFifteenTwipsInsideTheOutline)
{
    for (int t = 0; t < TankCount; ++t) {
        const QRect outline = Layout().TankOutline(t), fill = Layout().TankFillDesign(t);
        EXPECT_EQ(outline.size(), QSize(630, 780));
        EXPECT_EQ(fill.left(), outline.left() + 15);
        EXPECT_EQ(fill.top(), outline.top() + 15);
        EXPECT_EQ(fill.size(), QSize(600, 750));
        EXPECT_EQ(outline.bottom() - fill.bottom(), 15);
    }
}

TEST(PlantLayoutTest, SwitchesSitRightOfTheirTankWithTheLampAbove)
{
    for (int s = 0; s < SwitchCount; ++s) {
        const QRect tank = Layout().TankOutline(TankOf(s));
        const QRect button = Layout().SwitchButton(s), lamp = Layout().Lamp(s);
        EXPECT_GT(button.left(), tank.right()) << "switch " << s;
        EXPECT_GT(button.top(), tank.top()) << "switch " << s << " lies below its tank's top";
        EXPECT_LT(button.bottom(), tank.bottom());
        EXPECT_EQ(lamp.left(), button.left());
        EXPECT_LT(lamp.bottom(), button.top()) << "lamp " << s << " just above its switch";
        EXPECT_GT(lamp.top(), tank.top());
        if (s % 2 == 1) {
            EXPECT_GT(button.left(), Layout().SwitchButton(s - 1).right());
        }
    }
}

TEST(PlantLayoutTest, NoPartsLieOnTopOfEachOther)
{
    std::vector<std::pair<std::string, QRect>> parts;
    for (int t = 0; t < TankCount; ++t) parts.push_back({"tank " + std::to_string(t), Layout().TankOutline(t)});
    for (int s = 0; s < SwitchCount; ++s) {
        parts.push_back({"switch " + std::to_string(s), Layout().SwitchButton(s)});
        parts.push_back({"lamp " + std::to_string(s), Layout().Lamp(s)});
    }
    for (std::size_t i = 0; i < parts.size(); ++i)
        for (std::size_t j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(parts[i].second.intersects(parts[j].second)) << parts[i].first << " and " << parts[j].first;
    // Pipes run between the parts, never through them.
    for (const PipeSegment& seg : Layout().Segments())
        for (const auto& [name, rect] : parts)
            EXPECT_FALSE(seg.rect.intersects(rect)) << "pipe of tank " << seg.region << " [" << seg.index
                                                    << "] crosses " << name;
}

TEST(PlantLayoutTest, ThePlantLeavesTheRightPartOfTheWindowToTheControls)
{
    const QRect area = Layout().PlantArea();
    EXPECT_GE(area.left(), 0);
    EXPECT_GE(area.top(), 0);
    EXPECT_LE(area.bottom(), DesignHeight);
    EXPECT_LT(area.right(), 9750);
}

TEST(PlantModelTest, PipeWaterShowsOrHidesOneWholePipe)
{
    PlantModel model;
    for (int t = 0; t < TankCount; ++t) model.PipeWater(t, false);
    ASSERT_EQ(model.VisibleSegmentCount(), 0);

    EXPECT_TRUE(model.PipeWater(1, true));
    EXPECT_EQ(model.VisibleSegmentCount(), 8);
    for (std::size_t i = 0; i < Layout().Segments().size(); ++i)
        EXPECT_EQ(model.SegmentVisible(i), Layout().Segments()[i].region == 1);

    EXPECT_TRUE(model.PipeWater(7, true));
    EXPECT_EQ(model.VisibleSegmentCount(), 9);
    EXPECT_FALSE(model.PipeWater(7, true)) << "already flowing";
    EXPECT_TRUE(model.PipeWater(1, false));
    EXPECT_EQ(model.VisibleSegmentCount(), 1);
}

TEST(PlantModelTest, PipeWaterOfNoTankChangesNothing)
{
    PlantModel model;
    model.PipeWater(4, false);
    const int before = model.VisibleSegmentCount();
    EXPECT_FALSE(model.PipeWater(23, true));
    EXPECT_FALSE(model.PipeWater(-1, false));
    EXPECT_EQ(model.VisibleSegmentCount(), before);
}

TEST(PlantModelTest, TheRepaintAreaCoversOldAndNewWater)
{
    PlantModel model;
    model.FillTank(5, 0);
    const auto dirty = model.FillTank(5, 1000);
    ASSERT_TRUE(dirty);
    const TankGauge& g = model.Tank(5);
    EXPECT_TRUE(dirty->contains(QRect(g.left, g.top, g.width, g.height)));
    EXPECT_FALSE(model.FillTank(5, 1000)) << "nothing to repaint";
    EXPECT_FALSE(model.FillTank(23, 10));
    const auto lowered = model.FillTank(5, 10);
    ASSERT_TRUE(lowered);
    EXPECT_LE(lowered->top(), Layout().TankFillDesign(5).bottom() - 500) << "the old surface is repainted too";
}

TEST(PlantModelTest, LampsShowTheStatusColours)
{
    EXPECT_EQ(LampColour(SwitchStatus::Off), QColor(255, 0, 0));
    EXPECT_EQ(LampColour(SwitchStatus::Clean), QColor(255, 255, 128));
    EXPECT_EQ(LampColour(SwitchStatus::On), QColor(0, 255, 0));
    EXPECT_EQ(LampColour(SwitchStatus::Queued), QColor(128, 0, 128));
    PlantModel model;
    EXPECT_EQ(model.Lamp(12), SwitchStatus::On) << "green as designed";
    EXPECT_TRUE(model.SetLamp(12, SwitchStatus::Queued));
    EXPECT_FALSE(model.SetLamp(12, SwitchStatus::Queued));
    EXPECT_EQ(model.Lamp(12), SwitchStatus::Queued);
    EXPECT_FALSE(model.SetLamp(46, SwitchStatus::Off));
}

}  // namespace
}  // namespace kestu::ui
