#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

namespace kestu::ui {

inline constexpr double TwipsPerPixel = 15.0;  // at the design size

// Maps the design area (twips) onto a window of any size: one scale for both
// directions, so shapes keep their proportions, centred in the window.
class TwipScale {
public:
    TwipScale() = default;
    TwipScale(QSize windowSize, QSize designTwips);

    double PixelsPerTwip() const { return pixelsPerTwip_; }
    QPointF Offset() const { return offset_; }
    // The same scale without the centring offset, for controls inside a frame.
    TwipScale Relative() const
    {
        TwipScale copy = *this;
        copy.offset_ = QPointF();
        return copy;
    }

    QRectF ToPixelsF(const QRect& twips) const;
    // Whole pixels, edges rounded so neighbouring controls keep their gaps.
    QRect ToPixels(const QRect& twips) const;
    // A font size in pixels for a design size in points (96 dpi design).
    int FontPixels(double points) const;

private:
    double pixelsPerTwip_ = 1.0 / TwipsPerPixel;
    QPointF offset_;
};

}  // namespace kestu::ui
