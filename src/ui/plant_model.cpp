#include "ui/plant_model.h"

#include <algorithm>

namespace kestu::ui {

QColor LampColour(SwitchStatus status)
{
    switch (status) {
    case SwitchStatus::Off: return QColor(255, 0, 0);
    case SwitchStatus::Clean: return QColor(255, 255, 128);
    case SwitchStatus::On: return QColor(0, 255, 0);
    case SwitchStatus::Queued: return QColor(128, 0, 128);
    }
    return QColor(0, 255, 0);
}

PlantModel::PlantModel(const PlantLayout& layout)
    : layout_(layout), segmentVisible_(layout.Segments().size(), true)
{
    for (int t = 0; t < TankCount; ++t) {
        const QRect fill = layout.TankFillDesign(t);
        tanks_[t] = TankGauge::Designed(fill.left(), fill.top());
    }
    // As designed, every lamp is green.
    lamps_.fill(SwitchStatus::On);
}

// The fill, the surface line and the room the line's pen takes.
QRect PlantModel::Extent(const TankGauge& gauge)
{
    const int top = std::min(gauge.top, gauge.lineY);
    const int bottom = std::max(gauge.Floor(), gauge.lineY);
    return QRect(gauge.left, top, gauge.width, bottom - top + 1).adjusted(-30, -30, 30, 30);
}

std::optional<QRect> PlantModel::FillTank(int tank, long long amount)
{
    if (tank < 0 || tank >= TankCount) return std::nullopt;
    TankGauge& gauge = tanks_[tank];
    const QRect before = Extent(gauge);
    if (!gauge.FillTank(amount)) return std::nullopt;
    return before | Extent(gauge);
}

std::optional<QRect> PlantModel::PipeWater(int region, bool visible)
{
    std::optional<QRect> dirty;
    const auto& segments = layout_.Segments();
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (segments[i].region != region || segmentVisible_[i] == visible) continue;
        segmentVisible_[i] = visible;
        dirty = dirty ? (*dirty | segments[i].rect) : segments[i].rect;
    }
    return dirty;
}

std::optional<QRect> PlantModel::SetLamp(int switchNum, SwitchStatus status)
{
    if (switchNum < 0 || switchNum >= SwitchCount || lamps_[switchNum] == status) return std::nullopt;
    lamps_[switchNum] = status;
    return layout_.Lamp(switchNum).adjusted(-15, -15, 15, 15);
}

int PlantModel::VisibleSegmentCount() const
{
    return static_cast<int>(std::count(segmentVisible_.begin(), segmentVisible_.end(), true));
}

}  // namespace kestu::ui
