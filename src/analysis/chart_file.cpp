#include "analysis/chart_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageWriter>

#include <algorithm>
#include <filesystem>

namespace kestu::analysis {

namespace {

std::string FormatList()
{
    std::string list;
    for (const QByteArray& format : QImageWriter::supportedImageFormats())
        list += (list.empty() ? "" : ", ") + format.toStdString();
    return list;
}

}  // namespace

Result<std::string> ChartFormatFor(const std::string& fileName)
{
    const std::string name = std::filesystem::path(fileName).filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return std::string("png");
    std::string suffix = name.substr(dot + 1);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c); });
    if (QImageWriter::supportedImageFormats().contains(QByteArray::fromStdString(suffix))) return suffix;
    return Fault{fileName + ": a chart cannot be written as \"." + suffix + "\"; the name's suffix picks the image format, one of " +
                     FormatList() + " (PNG for a name without a suffix)",
                 fileName, {}, {}};
}

Result<std::string> EncodeChart(const QImage& image, const std::string& format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QByteArray::fromStdString(format));
    if (!writer.write(image)) {
        return Result<std::string>::Fail("the chart cannot be encoded as " + format + " (" +
                                         writer.errorString().toStdString() + ")");
    }
    return bytes.toStdString();
}

}  // namespace kestu::analysis
