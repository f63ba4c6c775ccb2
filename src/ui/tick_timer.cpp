#include "ui/tick_timer.h"

#include <algorithm>

namespace kestu::ui {

TickTimer::TickTimer(QObject* parent) : QObject(parent)
{
    wait_.setSingleShot(true);
    wait_.setTimerType(Qt::PreciseTimer);
    connect(&wait_, &QTimer::timeout, this, &TickTimer::Fire);
    clock_.start();
}

void TickTimer::start(int intervalMs)
{
    interval_ = std::max(1, intervalMs);
    active_ = true;
    anchorNs_ = clock_.nsecsElapsed();
    ticks_ = 0;
    ScheduleNext();
}

void TickTimer::stop()
{
    active_ = false;
    wait_.stop();
}

void TickTimer::setInterval(int intervalMs)
{
    if (active_)
        start(intervalMs);
    else
        interval_ = std::max(1, intervalMs);
}

void TickTimer::Fire()
{
    if (!active_) return;
    // The wait ends a little early; the rest is waited out here, as the
    // system wakes a sleeping thread a millisecond or two late.
    while (clock_.nsecsElapsed() < DueNs()) {
    }
    ++ticks_;
    emit timeout();
    // The handler may have stopped or restarted the timer; only an untouched
    // run goes on from its anchor.
    if (active_ && !wait_.isActive()) ScheduleNext();
}

qint64 TickTimer::DueNs() const { return anchorNs_ + (ticks_ + 1) * static_cast<qint64>(interval_) * 1000000; }

void TickTimer::ScheduleNext()
{
    // Whole milliseconds, ending up to EarlyMs before the tick is due; a late
    // tick runs at once.
    constexpr qint64 EarlyMs = 3;
    const qint64 waitMs = (DueNs() - clock_.nsecsElapsed()) / 1000000 - EarlyMs;
    wait_.start(static_cast<int>(std::max<qint64>(0, waitMs)));
}

}  // namespace kestu::ui
