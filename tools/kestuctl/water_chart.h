#pragma once

#include <QImage>

#include <string>
#include <vector>

#include "scenario/scenario_tables.h"
#include "trials/log_reader.h"

namespace kestu::ctl {

// The colour of the dashed guide drawn at each deadline time.
inline constexpr QRgb DeadlineGuideColour = 0x606080;

struct WaterChartText {
    std::string title;     // e.g. the log's file name
    std::string subtitle;  // e.g. where the deadlines came from
};

// Every tank's water over the trial, one line per tank through the log's
// state lines, with each tank's deadline marked where its line is at that
// time. Text needs a QGuiApplication (it may run offscreen).
QImage DrawWaterChart(const std::vector<LoggedRecord>& records, const std::vector<DeadlineRow>& deadlines,
                      const WaterChartText& text, int width = 1600, int height = 900);

}  // namespace kestu::ctl
