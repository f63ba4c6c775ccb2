#pragma once

#include <QRect>

#include <array>
#include <vector>

#include "engine/constants.h"

namespace kestu::ui {

// The simulation window's design area, in twips.
inline constexpr int DesignWidth = 14295;
inline constexpr int DesignHeight = 10920;

// One stretch of a tank's outlet pipe that shows water while the tank is pumped.
struct PipeSegment {
    int region = 0;  // the tank whose pipe it belongs to
    int index = 0;   // its index in that pipe's segment array
    QRect rect;      // inside of the pipe, twips
};

// Where the plant's parts lie on the design area: five columns of tanks, each
// tank's outlet leaving its right side past its two switches.
class PlantLayout {
public:
    static const PlantLayout& Standard();

    QRect TankOutline(int tank) const { return tanks_[tank]; }
    QRect TankFillDesign(int tank) const;
    QRect SwitchButton(int switchNum) const;
    QRect Lamp(int switchNum) const;
    // Where Detail Feedback writes the tank's missed buckets: across the tank, under its number.
    QRect MissedLabel(int tank) const;
    // Where the tank's number is written: its upper left corner, where the water seldom reaches.
    QRect TankNumber(int tank) const;
    static constexpr int TankNumberHeight = 150;  // the number's font height, twips (about 7.5 points)

    // Every segment, grouped by tank and in index order: 48 in all.
    const std::vector<PipeSegment>& Segments() const { return segments_; }
    // Pipe stretches that never show water: shared collectors and their inlets.
    const std::vector<QRect>& Connectors() const { return connectors_; }
    // The plant's extent, pipes included.
    QRect PlantArea() const;

    static constexpr int PipeBore = 90;   // inside width of a pipe
    static constexpr int PipeWall = 15;   // wall thickness drawn around it

private:
    PlantLayout();
    int ExitY(int tank) const;
    int InletY(int tank) const;
    void AddOutflow(int tank, int collectorX, int inletY, bool vertical);
    void AddBranches(int tank, int trunkX, const std::vector<int>& destinations);
    void AddCollector(int collectorX, int fromY, int toY, const std::vector<int>& destinations);
    void Add(int tank, QRect rect);

    std::array<QRect, TankCount> tanks_;
    std::vector<PipeSegment> segments_;
    std::vector<QRect> connectors_;
};

}  // namespace kestu::ui
