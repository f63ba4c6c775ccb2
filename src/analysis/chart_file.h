#pragma once

#include <QImage>

#include <string>

#include "engine/result.h"

namespace kestu::analysis {

// The image format a chart file's name asks for by its suffix ("png", "jpg",
// "bmp", ... in lower case) when this build of Qt can write it; "png" for a
// name without a suffix. The fault names the suffix and the formats that can
// be written, so that a ".jpg" never holds PNG bytes.
Result<std::string> ChartFormatFor(const std::string& fileName);

// The image encoded in `format` in memory, so that the file is written whole
// or not at all.
Result<std::string> EncodeChart(const QImage& image, const std::string& format);

}  // namespace kestu::analysis
