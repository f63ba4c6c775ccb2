// The window system's queue is reached through the interface every Qt
// platform plugin uses to hand Qt its input. Its header is not installed
// with Qt's public ones, so the one entry used here is declared as Qt's
// library exports it (Qt 6: bool QWindowSystemInterface::handleMouseEvent
// <AsynchronousDelivery>(QWindow*, const QPointF&, const QPointF&,
// Qt::MouseButtons, Qt::MouseButton, QEvent::Type, Qt::KeyboardModifiers,
// Qt::MouseEventSource)). This file includes no other declaration of it.
#include "queued_input.h"

#include <QEvent>
#include <QPointF>
#include <QWidget>
#include <QWindow>

class QWindowSystemInterface {
public:
    class AsynchronousDelivery;
    template <typename Delivery>
    static bool handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global, Qt::MouseButtons state,
                                 Qt::MouseButton button, QEvent::Type type, Qt::KeyboardModifiers mods,
                                 Qt::MouseEventSource source);
};

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
