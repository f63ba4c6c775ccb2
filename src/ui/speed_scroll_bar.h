#pragma once

#include <QScrollBar>

namespace kestu::ui {

// The speed control of the options dialog and of the simulation window: the
// timer interval in milliseconds per tick, small values fast.
inline QScrollBar* NewSpeedScrollBar(QWidget* parent)
{
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QStringLiteral("HScroll1"));
    bar->setRange(125, 3750);
    bar->setSingleStep(100);
    bar->setPageStep(500);
    bar->setValue(1937);
    bar->setFocusPolicy(Qt::StrongFocus);  // the speed can be chosen from the keyboard
    return bar;
}

}  // namespace kestu::ui
