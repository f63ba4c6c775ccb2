#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace kestu::ui {

// The simulation's tick source. Tick k of a run is due at the run's start
// plus k intervals, so a late tick does not make the next one late too; a
// start, a new interval or a restart anchors the run afresh. Each tick is
// scheduled only after the one before has been handled, so a tick never
// starts inside another, and the wait uses Qt's precise timer.
class TickTimer : public QObject {
    Q_OBJECT
public:
    explicit TickTimer(QObject* parent = nullptr);

    void start(int intervalMs);
    void stop();
    void setInterval(int intervalMs);  // re-anchors a running timer
    bool isActive() const { return active_; }
    int interval() const { return interval_; }

signals:
    void timeout();

private:
    void Fire();
    void ScheduleNext();
    qint64 DueNs() const;  // when the next tick is due

    QTimer wait_;
    QElapsedTimer clock_;
    qint64 anchorNs_ = 0;
    qint64 ticks_ = 0;  // ticks fired since the anchor
    int interval_ = 1000;
    bool active_ = false;
};

}  // namespace kestu::ui
