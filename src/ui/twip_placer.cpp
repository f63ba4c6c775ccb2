#include "ui/twip_placer.h"

#include <QFont>
#include <QWidget>

namespace kestu::ui {

void TwipPlacer::Place(QWidget* widget, QRect twips, double points, bool inFrame)
{
    entries_.push_back({widget, twips, points, inFrame});
}

void TwipPlacer::Apply(const TwipScale& scale) const
{
    const TwipScale inFrame = scale.Relative();
    for (const Entry& e : entries_) {
        e.widget->setGeometry((e.inFrame ? inFrame : scale).ToPixels(e.twips));
        QFont font = e.widget->font();
        font.setPixelSize(scale.FontPixels(e.points));
        e.widget->setFont(font);
    }
}

QRect TwipPlacer::DesignRect(const QWidget* widget) const
{
    for (const Entry& e : entries_)
        if (e.widget == widget) return e.twips;
    return {};
}

}  // namespace kestu::ui
