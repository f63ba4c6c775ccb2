#pragma once

#include <QColor>

namespace kestu::analysis {

// A colour for each of the 23 tanks, chosen to tell the lines apart on a
// white background; tanks 12..22 also draw dashed, as a few hues come close.
QColor TankColour(int tank);
Qt::PenStyle TankLineStyle(int tank);

}  // namespace kestu::analysis
