#pragma once

#include <QColor>
#include <QRect>

#include <array>
#include <optional>
#include <vector>

#include "engine/constants.h"
#include "engine/switch_status.h"
#include "ui/plant_layout.h"
#include "ui/tank_gauge.h"

namespace kestu::ui {

// The lamp colour of a switch status.
QColor LampColour(SwitchStatus status);

// What the plant drawing shows: each tank's water, each pipe segment's water
// and each switch lamp. Every change returns the area (in twips) that needs
// repainting, or nothing when the drawing did not change.
class PlantModel {
public:
    explicit PlantModel(const PlantLayout& layout = PlantLayout::Standard());

    std::optional<QRect> FillTank(int tank, long long amount);
    // Shows or hides every segment of tank `region`'s pipe; other regions change nothing.
    std::optional<QRect> PipeWater(int region, bool visible);
    std::optional<QRect> SetLamp(int switchNum, SwitchStatus status);

    const PlantLayout& layout() const { return layout_; }
    const TankGauge& Tank(int tank) const { return tanks_[tank]; }
    bool SegmentVisible(std::size_t segment) const { return segmentVisible_[segment]; }
    SwitchStatus Lamp(int switchNum) const { return lamps_[switchNum]; }
    int VisibleSegmentCount() const;

private:
    static QRect Extent(const TankGauge& gauge);

    const PlantLayout& layout_;
    std::array<TankGauge, TankCount> tanks_;
    std::vector<bool> segmentVisible_;
    std::array<SwitchStatus, SwitchCount> lamps_;
};

}  // namespace kestu::ui
