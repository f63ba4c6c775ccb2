#include "ui/replay_timeline.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace kestu::ui {

namespace {

bool IsDecision(const TrialEvent& e)
{
    return e.Kind == TrialEventKind::SwitchClicked || e.Kind == TrialEventKind::DeadlineJudged;
}

bool IsMark(const TrialEvent& e)
{
    switch (e.Kind) {
    case TrialEventKind::SwitchClicked:
    case TrialEventKind::SnapshotSaved:
    case TrialEventKind::SnapshotRestored:
    case TrialEventKind::DeadlineJudged:
    case TrialEventKind::StoppedEarly:
        return true;
    default:
        return false;
    }
}

QString Clock(ClockTime t) { return QString::fromStdString(FormatClock(t)); }

QString StatusWord(SwitchStatus s)
{
    switch (s) {
    case SwitchStatus::On: return QStringLiteral("on");
    case SwitchStatus::Clean: return QStringLiteral("cleaning");
    case SwitchStatus::Queued: return QStringLiteral("waiting for a pump");
    case SwitchStatus::Off: break;
    }
    return QStringLiteral("off");
}

QString Words(const TrialEvent& e)
{
    const QString at = Clock(e.Clock);
    switch (e.Kind) {
    case TrialEventKind::SwitchClicked:
        return QStringLiteral("%1: switch %2 of tank %3 %4").arg(at).arg(e.Switch).arg(e.Tank).arg(StatusWord(e.Status));
    case TrialEventKind::SnapshotSaved: return QStringLiteral("%1: snapshot saved").arg(at);
    case TrialEventKind::SnapshotRestored:
        return QStringLiteral("%1: snapshot restored, back to %2").arg(at, Clock(e.RestoredTo));
    case TrialEventKind::DeadlineJudged:
        return QStringLiteral("%1: tank %2, %3 buckets missed").arg(at).arg(e.Tank).arg(e.Missed);
    default: return QStringLiteral("%1: the trial was stopped").arg(at);
    }
}

QColor ColourOf(const TrialEvent& e)
{
    switch (e.Kind) {
    case TrialEventKind::SwitchClicked: return QColor(40, 90, 200);
    case TrialEventKind::SnapshotSaved:
    case TrialEventKind::SnapshotRestored: return QColor(20, 150, 60);
    case TrialEventKind::DeadlineJudged: return e.Missed > 0 ? QColor(210, 30, 30) : QColor(150, 150, 150);
    default: return Qt::black;
    }
}

}  // namespace

ReplayTimeline::ReplayTimeline(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ReplayTimeline"));
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
}

void ReplayTimeline::ShowTrial(const std::vector<TrialEvent>& events, long long ticks)
{
    marks_.clear();
    length_ = ticks;
    for (const TrialEvent& e : events)
        if (IsMark(e)) marks_.push_back(e);
    cursor_ = 0;
    update();
}

void ReplayTimeline::ShowTick(long long tick)
{
    if (tick == cursor_) return;
    cursor_ = tick;
    update();
}

int ReplayTimeline::XOf(long long tick) const
{
    if (length_ <= 0) return 0;
    return static_cast<int>(std::lround(static_cast<double>(tick) * (width() - 1) / static_cast<double>(length_)));
}

long long ReplayTimeline::TickAt(int x) const
{
    if (width() <= 1) return 0;
    const double share = std::clamp(static_cast<double>(x) / (width() - 1), 0.0, 1.0);
    return std::llround(share * static_cast<double>(length_));
}

std::optional<long long> ReplayTimeline::NextDecision(long long tick) const
{
    for (const TrialEvent& e : marks_)
        if (IsDecision(e) && e.Tick > tick) return e.Tick;
    return std::nullopt;
}

std::optional<long long> ReplayTimeline::PreviousDecision(long long tick) const
{
    std::optional<long long> found;
    for (const TrialEvent& e : marks_)
        if (IsDecision(e) && e.Tick < tick) found = e.Tick;
    return found;
}

QString ReplayTimeline::MarkTextAt(int x) const
{
    const TrialEvent* nearest = nullptr;
    int best = 4;  // pixels
    for (const TrialEvent& e : marks_) {
        const int d = std::abs(XOf(e.Tick) - x);
        if (d <= best) best = d, nearest = &e;
    }
    if (!nearest) return {};
    QStringList lines;
    for (const TrialEvent& e : marks_)
        if (e.Tick == nearest->Tick) lines << Words(e);
    return lines.join('\n');
}

void ReplayTimeline::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(235, 235, 235));
    p.setPen(QColor(160, 160, 160));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (length_ <= 0) return;
    for (const TrialEvent& e : marks_) {
        p.setPen(QPen(ColourOf(e), 1));
        const int x = XOf(e.Tick);
        const bool deadline = e.Kind == TrialEventKind::DeadlineJudged;
        p.drawLine(x, deadline ? 1 : height() / 3, x, deadline ? height() / 2 : height() - 2);
    }
    p.setPen(QPen(Qt::black, 2));
    const int x = XOf(cursor_);
    p.drawLine(x, 0, x, height());
}

void ReplayTimeline::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && length_ > 0) emit seekRequested(TickAt(event->position().toPoint().x()));
}

void ReplayTimeline::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && length_ > 0) emit seekRequested(TickAt(event->position().toPoint().x()));
}

bool ReplayTimeline::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = MarkTextAt(help->pos().x());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this);
    return true;
}

}  // namespace kestu::ui
