#include "ui/plant_layout.h"

#include <algorithm>

#include "ui/tank_gauge.h"

namespace kestu::ui {

namespace {
// Left edges of the five tank columns.
constexpr std::array<int, 5> ColumnX = {120, 2100, 4080, 6060, 8040};
constexpr int CollectorGap = 240;   // a collector runs this far left of the column it feeds
constexpr int DrainX = 9600;        // where the last column's pipes leave the plant
constexpr int RowPitch = 880;       // tanks 3..14, one above the other
constexpr int FirstRowTop = 150;

constexpr int SwitchSize = 255;
constexpr int SwitchGapX = 45;      // tank to first switch, and between the two switches
constexpr int SwitchTop = 285;      // below the tank's top
constexpr int LampHeight = 105;
constexpr int LampTop = 150;
constexpr int ExitDepth = 615;      // the outlet pipe's centre below the tank's top
// Detail Feedback's figure stands under the tank's number, never over it.
constexpr int MissedLabelTop = 225;

QRect Span(int x, int y1, int y2, int width)
{
    const int top = std::min(y1, y2) - PlantLayout::PipeBore / 2;
    return QRect(x, top, width, std::abs(y2 - y1) + PlantLayout::PipeBore);
}

QRect Run(int x1, int x2, int y)
{
    return QRect(x1, y - PlantLayout::PipeBore / 2, x2 - x1, PlantLayout::PipeBore);
}
}  // namespace

const PlantLayout& PlantLayout::Standard()
{
    static const PlantLayout layout;
    return layout;
}

PlantLayout::PlantLayout()
{
    auto place = [&](int tank, int column, int top) {
        tanks_[tank] = QRect(ColumnX[column], top, TankOutlineWidth, TankOutlineHeight);
    };
    // Third column: tanks 3..14 one above the other.
    for (int row = 0; row < 12; ++row) place(3 + row, 2, FirstRowTop + row * RowPitch);
    auto centredOn = [&](int firstTank, int lastTank) {
        const int middle = (tanks_[firstTank].top() + tanks_[lastTank].bottom() + 1) / 2;
        return middle - TankOutlineHeight / 2;
    };
    // Each fourth-column tank sits level with the pair of third-column tanks that feed it.
    for (int k = 0; k < 6; ++k) place(15 + k, 3, centredOn(3 + 2 * k, 4 + 2 * k));
    // Tank 1 centred on tanks 3..8, tank 2 on tanks 9..14, tank 0 between them.
    place(1, 1, centredOn(3, 8));
    place(2, 1, centredOn(9, 14));
    place(0, 0, (tanks_[1].top() + tanks_[2].top()) / 2);
    // Tank 21 takes what tanks 15 and 16 send between them, tank 22 sits level with tank 19.
    place(21, 4, (ExitY(15) + ExitY(16)) / 2 - TankOutlineHeight / 2);
    place(22, 4, tanks_[19].top());

    // Pipes, tank by tank, so that segments come out in tank and index order.
    const int trunk2 = ColumnX[1] - CollectorGap;
    const int trunk3 = ColumnX[2] - CollectorGap;
    const int collector4 = ColumnX[3] - CollectorGap;
    const int collector5 = ColumnX[4] - CollectorGap;
    AddBranches(0, trunk2, {1, 2});
    AddBranches(1, trunk3, {3, 4, 5, 6, 7, 8});
    AddBranches(2, trunk3, {9, 10, 11, 12, 13, 14});
    // Third column into the fourth: each pair of tanks shares a collector.
    for (int tank = 3; tank <= 14; ++tank) {
        const int destination = 15 + (tank - 3) / 2;
        const bool showsDescent = tank <= 6 || tank == 9 || tank == 10;
        AddOutflow(tank, collector4, InletY(destination), showsDescent);
    }
    // Fourth column into one collector that feeds tanks 21 and 22.
    for (int tank = 15; tank <= 20; ++tank) AddOutflow(tank, collector5, InletY(21), tank <= 16);
    for (int tank = 21; tank <= 22; ++tank) Add(tank, Run(tanks_[tank].right() + 1, DrainX, ExitY(tank)));

    for (int pair = 0; pair < 6; ++pair) {
        const int upper = 3 + 2 * pair;
        AddCollector(collector4, ExitY(upper), ExitY(upper + 1), {15 + pair});
    }
    AddCollector(collector5, ExitY(15), ExitY(20), {21, 22});
}

int PlantLayout::ExitY(int tank) const { return tanks_[tank].top() + ExitDepth; }
int PlantLayout::InletY(int tank) const { return tanks_[tank].top() + TankOutlineHeight / 2; }

void PlantLayout::Add(int tank, QRect rect)
{
    int index = 0;
    for (const PipeSegment& s : segments_)
        if (s.region == tank) ++index;
    segments_.push_back({tank, index, rect});
}

// Segment 0 runs from the tank into the collector; a second segment shows the
// water going along the collector to the inlet.
void PlantLayout::AddOutflow(int tank, int collectorX, int inletY, bool vertical)
{
    Add(tank, Run(tanks_[tank].right() + 1, collectorX + PipeBore, ExitY(tank)));
    if (vertical) Add(tank, Span(collectorX, ExitY(tank), inletY, PipeBore));
}

// A pipe of its own that branches to every destination.
void PlantLayout::AddBranches(int tank, int trunkX, const std::vector<int>& destinations)
{
    Add(tank, Run(tanks_[tank].right() + 1, trunkX + PipeBore, ExitY(tank)));
    int high = ExitY(tank), low = ExitY(tank);
    for (int d : destinations) {
        high = std::min(high, InletY(d));
        low = std::max(low, InletY(d));
    }
    Add(tank, Span(trunkX, high, low, PipeBore));
    for (int d : destinations) Add(tank, Run(trunkX, tanks_[d].left(), InletY(d)));
}

void PlantLayout::AddCollector(int collectorX, int fromY, int toY, const std::vector<int>& destinations)
{
    connectors_.push_back(Span(collectorX, fromY, toY, PipeBore));
    for (int d : destinations) connectors_.push_back(Run(collectorX, tanks_[d].left(), InletY(d)));
}

QRect PlantLayout::TankFillDesign(int tank) const
{
    const QRect outline = tanks_[tank];
    return QRect(outline.left() + TankFillInset, outline.top() + TankFillInset, TankFillWidth, TankFillDesignHeight);
}

QRect PlantLayout::SwitchButton(int switchNum) const
{
    const QRect tank = tanks_[TankOf(switchNum)];
    const int x = tank.right() + 1 + SwitchGapX + (switchNum % 2) * (SwitchSize + SwitchGapX);
    return QRect(x, tank.top() + SwitchTop, SwitchSize, SwitchSize);
}

QRect PlantLayout::Lamp(int switchNum) const
{
    const QRect button = SwitchButton(switchNum);
    return QRect(button.left(), tanks_[TankOf(switchNum)].top() + LampTop, SwitchSize, LampHeight);
}

QRect PlantLayout::MissedLabel(int tank) const
{
    const QRect outline = tanks_[tank];
    return QRect(outline.left(), outline.top() + MissedLabelTop, outline.width(), 330);
}

QRect PlantLayout::TankNumber(int tank) const
{
    const QRect outline = tanks_[tank];
    return QRect(outline.left() + 45, outline.top() + 30, 270, 180);
}

QRect PlantLayout::PlantArea() const
{
    QRect area;
    for (const QRect& t : tanks_) area |= t;
    for (int s = 0; s < SwitchCount; ++s) area |= Lamp(s) | SwitchButton(s);
    for (const PipeSegment& s : segments_) area |= s.rect;
    for (const QRect& c : connectors_) area |= c;
    return area.adjusted(-PipeWall, -PipeWall, PipeWall, PipeWall);
}

}  // namespace kestu::ui
