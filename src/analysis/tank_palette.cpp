#include "analysis/tank_palette.h"

#include <array>

#include "engine/constants.h"

namespace kestu::analysis {

namespace {
constexpr std::array<QRgb, TankCount> Colours = {
    0xe6194b, 0x3cb44b, 0x4363d8, 0xf58231, 0x911eb4, 0x42d4f4, 0xf032e6, 0x8fbf00,
    0x469990, 0x9a6324, 0x800000, 0x808000, 0x1e90ff, 0x7f7f7f, 0x000000, 0xd4a000,
    0xe377c2, 0x17becf, 0xff9f6e, 0x9a7fd1, 0x006400, 0xc00080, 0x5f9ea0,
};
}

QColor TankColour(int tank) { return QColor::fromRgb(Colours[static_cast<std::size_t>(tank) % Colours.size()]); }

Qt::PenStyle TankLineStyle(int tank) { return tank < 12 ? Qt::SolidLine : Qt::DashLine; }

}  // namespace kestu::analysis
