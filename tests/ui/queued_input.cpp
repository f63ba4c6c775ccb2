// Clicks put into the window system's queue, the way a platform plugin hands
// Qt a person's input: they wait there until the event loop takes user input
// again, unlike a QTest click, which reaches the button at once.
#include "queued_input.h"

#include <QEvent>
#include <QPointF>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

namespace kestu::uitest {

void QueueClick(QWidget* widget)
{
    QWidget* top = widget->window();
    QWindow* window = top->windowHandle();
    if (!window) return;
    const QPoint middle = widget->rect().center();
    const QPointF local = widget->mapTo(top, middle);
    const QPointF global = widget->mapToGlobal(middle);
    using Queue = QWindowSystemInterface::AsynchronousDelivery;
    QWindowSystemInterface::handleMouseEvent<Queue>(window, local, global, Qt::LeftButton, Qt::LeftButton,
                                                    QEvent::MouseButtonPress, Qt::NoModifier,
                                                    Qt::MouseEventNotSynthesized);
    QWindowSystemInterface::handleMouseEvent<Queue>(window, local, global, Qt::NoButton, Qt::LeftButton,
                                                    QEvent::MouseButtonRelease, Qt::NoModifier,
                                                    Qt::MouseEventNotSynthesized);
}

}  // namespace kestu::uitest
