#pragma once

#include <QRect>

#include <vector>

#include "ui/twip_scale.h"

class QWidget;

namespace kestu::ui {

// Keeps each control's design position (twips) and font size (points), and
// puts them all in place for the window's current size.
class TwipPlacer {
public:
    // `twips` is relative to the window, or to the parent frame when `inFrame`.
    void Place(QWidget* widget, QRect twips, double points, bool inFrame = false);
    void Apply(const TwipScale& scale) const;
    QRect DesignRect(const QWidget* widget) const;

private:
    struct Entry {
        QWidget* widget;
        QRect twips;
        double points;
        bool inFrame;
    };
    std::vector<Entry> entries_;
};

}  // namespace kestu::ui
