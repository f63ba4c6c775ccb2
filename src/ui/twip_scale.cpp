#include "ui/twip_scale.h"

#include <algorithm>
#include <cmath>

namespace kestu::ui {

TwipScale::TwipScale(QSize windowSize, QSize designTwips)
{
    const double sx = static_cast<double>(windowSize.width()) / designTwips.width();
    const double sy = static_cast<double>(windowSize.height()) / designTwips.height();
    pixelsPerTwip_ = std::min(sx, sy);
    offset_ = QPointF((windowSize.width() - designTwips.width() * pixelsPerTwip_) / 2,
                      (windowSize.height() - designTwips.height() * pixelsPerTwip_) / 2);
}

QRectF TwipScale::ToPixelsF(const QRect& twips) const
{
    return QRectF(offset_.x() + twips.x() * pixelsPerTwip_, offset_.y() + twips.y() * pixelsPerTwip_,
                  twips.width() * pixelsPerTwip_, twips.height() * pixelsPerTwip_);
}

QRect TwipScale::ToPixels(const QRect& twips) const
{
    const QRectF f = ToPixelsF(twips);
    const int left = static_cast<int>(std::lround(f.left()));
    const int top = static_cast<int>(std::lround(f.top()));
    const int right = static_cast<int>(std::lround(f.left() + f.width()));
    const int bottom = static_cast<int>(std::lround(f.top() + f.height()));
    return QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
}

int TwipScale::FontPixels(double points) const
{
    const double designPixels = points * 96.0 / 72.0;
    return std::max(1, static_cast<int>(std::lround(designPixels * pixelsPerTwip_ * TwipsPerPixel)));
}

}  // namespace kestu::ui
