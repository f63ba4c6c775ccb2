#pragma once

class QWidget;

namespace kestu::uitest {

// A left click on the middle of `widget` the way the window system delivers
// one: queued for the event loop, reaching the widget only when events are
// next processed (and not while they are processed without user input).
// QTest's own clicks are sent at once, whatever the loop is doing.
void QueueClick(QWidget* widget);

}  // namespace kestu::uitest
