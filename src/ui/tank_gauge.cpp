#include "ui/tank_gauge.h"

#include <algorithm>

namespace kestu::ui {

TankGauge TankGauge::Designed(int fillLeft, int fillTop)
{
    TankGauge gauge;
    gauge.left = fillLeft;
    gauge.top = fillTop;
    gauge.lineY = fillTop;
    return gauge;
}

bool TankGauge::FillTank(long long amount)
{
    if (amount < 0) return false;
    const TankGauge before = *this;
    const int h = static_cast<int>(std::min<long long>(amount / 2, MaxFillHeight));
    const bool odd = amount % 2 != 0;
    if (h != 0) {
        fillVisible = true;
        lineVisible = true;
        // The top edge moves; the floor stays where it is.
        const int d = h - height;
        height += d;
        top -= d;
        lineY = top;
    } else {
        // Too little to draw a fill: a single bucket shows as a line on the floor.
        fillVisible = false;
        lineVisible = odd;
        lineY = top + height;
    }
    lineColour = odd ? SurfaceColour::Cyan : SurfaceColour::Blue;
    return !(before == *this);
}

}  // namespace kestu::ui
