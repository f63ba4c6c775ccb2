#pragma once

#include <QWidget>

#include <optional>
#include <vector>

#include "trials/trial_event.h"

namespace kestu::ui {

// The strip under the plant in Replay mode: the whole trial in ticks lived
// (a restore does not fold it), a mark for every click, snapshot save and
// restore, judged deadline (red where buckets were missed) and early stop,
// and a cursor at the replay's tick. Pressing or dragging on it asks for a
// seek; hovering a mark says what it is.
class ReplayTimeline : public QWidget {
    Q_OBJECT
public:
    explicit ReplayTimeline(QWidget* parent = nullptr);

    // The replay's events from its setup to its end, and the ticks it
    // lives; none clears the strip.
    void ShowTrial(const std::vector<TrialEvent>& events, long long ticks);
    void ShowTick(long long tick);
    long long Length() const { return length_; }
    long long Cursor() const { return cursor_; }
    const std::vector<TrialEvent>& Marks() const { return marks_; }
    // The tick of the nearest decision (a click or a judged deadline) after
    // or before `tick`; nothing when there is none.
    std::optional<long long> NextDecision(long long tick) const;
    std::optional<long long> PreviousDecision(long long tick) const;
    // What the mark nearest to x (within a few pixels) is, in words.
    QString MarkTextAt(int x) const;
    int XOf(long long tick) const;

signals:
    void seekRequested(long long tick);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    long long TickAt(int x) const;

    std::vector<TrialEvent> marks_;
    long long length_ = 0;
    long long cursor_ = 0;
};

}  // namespace kestu::ui
