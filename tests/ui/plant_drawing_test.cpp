// The plant drawing's layout and model, and how a tank draws its water: fill on
// a fixed floor, one twip per two buckets, the surface line's colour telling odd from even.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "ui/plant_layout.h"
#include "ui/plant_model.h"
#include "ui/tank_gauge.h"

namespace kestu::ui {
namespace {

const PlantLayout& Layout() { return PlantLayout::Standard(); }

// Each tank holds its fill; each switch sits beside its tank, right of its
// partner, under its lamp; no two parts overlap, no pipe crosses one, and the
// plant leaves the right side of the window to the controls.
TEST(PlantLayoutTest, EveryPartHasItsOwnPlaceBesideItsTank)
{
    std::vector<std::pair<std::string, QRect>> parts;
    for (int t = 0; t < TankCount; ++t) {
        EXPECT_TRUE(Layout().TankOutline(t).contains(Layout().TankFillDesign(t), true)) << "tank " << t;
        parts.push_back({"tank " + std::to_string(t), Layout().TankOutline(t)});
    }
    for (int s = 0; s < SwitchCount; ++s) {
        const QRect tank = Layout().TankOutline(TankOf(s)), button = Layout().SwitchButton(s), lamp = Layout().Lamp(s);
        SCOPED_TRACE("switch " + std::to_string(s));
        EXPECT_TRUE(button.left() > tank.right() && button.top() > tank.top() && button.bottom() < tank.bottom());
        EXPECT_TRUE(lamp.left() == button.left() && lamp.top() > tank.top() && lamp.bottom() < button.top());
        EXPECT_TRUE(s % 2 == 0 || button.left() > Layout().SwitchButton(s - 1).right());
        parts.push_back({"switch " + std::to_string(s), button});
        parts.push_back({"lamp " + std::to_string(s), lamp});
    }
    for (std::size_t i = 0; i < parts.size(); ++i)
        for (std::size_t j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(parts[i].second.intersects(parts[j].second)) << parts[i].first << " and " << parts[j].first;
    for (const PipeSegment& seg : Layout().Segments())
        for (const auto& [name, rect] : parts)
            EXPECT_FALSE(seg.rect.intersects(rect)) << "pipe of tank " << seg.region << " crosses " << name;
    const QRect area = Layout().PlantArea();
    EXPECT_TRUE(area.left() >= 0 && area.top() >= 0 && area.bottom() <= DesignHeight && area.right() < 9750);
}

// Each tank has its pipe segments, indexed from 0; PipeWater shows or hides a
// whole pipe, and a region that is no tank changes nothing.
TEST(PlantModelTest, PipesShowAsAWholeAndChangesReportTheirRepaintArea)
{
    std::vector<int> counted(TankCount, 0);
    for (const PipeSegment& s : Layout().Segments()) {
        ASSERT_TRUE(s.region >= 0 && s.region < TankCount) << s.region;
        EXPECT_EQ(s.index, counted[s.region]++) << "tank " << s.region << ": indices in order from 0";
    }
    for (int t = 0; t < TankCount; ++t) EXPECT_GT(counted[t], 0) << "tank " << t << " has no pipe";

    PlantModel model;
    for (int t = 0; t < TankCount; ++t) model.PipeWater(t, false);
    EXPECT_TRUE(model.PipeWater(1, true));
    for (std::size_t i = 0; i < Layout().Segments().size(); ++i)
        EXPECT_EQ(model.SegmentVisible(i), Layout().Segments()[i].region == 1) << "segment " << i;
    EXPECT_FALSE(model.PipeWater(23, true) || model.PipeWater(-1, false));
    EXPECT_TRUE(model.PipeWater(7, true));
    EXPECT_FALSE(model.PipeWater(7, true)) << "already flowing";
    EXPECT_TRUE(model.PipeWater(1, false));
    EXPECT_EQ(model.VisibleSegmentCount(), counted[7]);

    // Tanks and lamps report the area to repaint, nothing when unchanged.
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

    EXPECT_TRUE(model.SetLamp(12, SwitchStatus::Queued));
    EXPECT_FALSE(model.SetLamp(12, SwitchStatus::Queued));
    EXPECT_EQ(model.Lamp(12), SwitchStatus::Queued);
    EXPECT_FALSE(model.SetLamp(46, SwitchStatus::Off));
}

constexpr int Left = 135, DesignTop = 4215;
constexpr int DesignFloor = DesignTop + TankFillDesignHeight;
constexpr SurfaceColour Blue = SurfaceColour::Blue, Cyan = SurfaceColour::Cyan;

// A designed gauge given `amounts` in turn: what the last call reported and the drawing after it.
struct GaugeCase {
    std::vector<long long> amounts;
    bool changed, fillVisible, lineVisible;
    int height, lineAbove;  // the fill's height, shown or not; the surface line's height above the floor
    SurfaceColour colour;
};

TEST(TankGaugeTest, DrawsEachAmountOnTheSameFloor)
{
    const GaugeCase cases[] = {
        {{0}, true, false, false, TankFillDesignHeight, 0, Blue},  // no water: fill and line hidden
        {{1}, true, false, true, TankFillDesignHeight, 0, Cyan},  // a cyan line on the floor
        {{2}, true, true, true, 1, 1, Blue},
        {{2, 3}, true, true, true, 1, 1, Cyan},  // only the colour changes
        {{10, 1500}, true, true, true, TankFillDesignHeight, TankFillDesignHeight, Blue},
        {{1600}, true, true, true, 800, 800, Blue},  // more than a tankful rises above the design
        {{3, -5}, false, true, true, 1, 1, Cyan},    // a negative amount changes nothing
        {{40, 40}, false, true, true, 20, 20, Blue},
        {{40, 1}, true, false, true, 20, 0, Cyan},  // a hidden fill keeps its size
        {{40, 1, 6}, true, true, true, 3, 3, Blue},
        {{10'000'000'000LL}, true, true, true, MaxFillHeight, MaxFillHeight, Blue},
    };
    for (const GaugeCase& c : cases) {
        std::string name;
        for (long long a : c.amounts) name += std::to_string(a) + " ";
        TankGauge gauge = TankGauge::Designed(Left, DesignTop);
        for (std::size_t i = 0; i + 1 < c.amounts.size(); ++i) gauge.FillTank(c.amounts[i]);
        const TankGauge before = gauge;
        EXPECT_EQ(gauge.FillTank(c.amounts.back()), c.changed) << name;
        EXPECT_TRUE(c.changed || gauge == before) << name << ": an unchanged gauge";
        EXPECT_EQ(std::tie(gauge.fillVisible, gauge.lineVisible, gauge.height, gauge.lineColour),
                  std::tie(c.fillVisible, c.lineVisible, c.height, c.colour)) << name;
        EXPECT_EQ(std::tuple(gauge.left, gauge.Floor(), gauge.lineY), std::tuple(Left, DesignFloor, DesignFloor - c.lineAbove))
            << name;
    }
}

}  // namespace
}  // namespace kestu::ui
