#pragma once

#include <QImage>

#include <string>

#include "analysis/tick_series.h"

namespace kestu::analysis {

// The colour of the dashed guide drawn where deadlines were judged, and of
// the lines marking a snapshot save, a restore and a STOP.
inline constexpr QRgb DeadlineGuideColour = 0x606080;
inline constexpr QRgb SaveMarkColour = 0x0072b2;
inline constexpr QRgb RestoreMarkColour = 0xd55e00;
inline constexpr QRgb StopMarkColour = 0xb00020;

struct WaterChartText {
    std::string title;     // e.g. the log's file name
    std::string subtitle;  // e.g. how the replay ended and where the scenario came from
};

// Every tank's water at every tick of a replay, one line per tank, against
// the ticks run (so a restore never folds the axis back), with the clock
// shown at each labelled tick, the snapshot and stop marks, and a diamond on
// a tank's line where its deadline was judged. Text needs a QGuiApplication
// (it may run offscreen).
QImage DrawWaterChart(const TickSeries& series, const WaterChartText& text, int width = 1600, int height = 900);

}  // namespace kestu::analysis
