// The replay's tools: the timeline under the plant, the faster speeds, and
// the keys that play, pause, step and jump.
#include <QComboBox>
#include <QShortcut>

#include <algorithm>

#include "ui/frm_simulation.h"
#include "ui/replay_timeline.h"

namespace kestu::ui {

namespace {
// The strip under the last row of tanks, the plant's width.
constexpr QRect TimelineTwips(120, 10650, 9480, 240);
constexpr QRect ReplaySpeedTwips(9750, 9870, 3300, 330);
constexpr long long TicksPerFastFrame = 24;
}  // namespace

void frmSimulation::BuildReplayTools()
{
    Timeline = new ReplayTimeline(this);
    Timeline->setToolTip(QString());
    placer_.Place(Timeline, TimelineTwips, 8);
    Timeline->hide();
    ReplaySpeed = new QComboBox(this);
    ReplaySpeed->setObjectName(QStringLiteral("ReplaySpeed"));
    ReplaySpeed->addItems({QStringLiteral("Trial speed"), QStringLiteral("2 x trial speed"),
                           QStringLiteral("4 x trial speed"), QStringLiteral("8 x trial speed"),
                           QStringLiteral("As fast as possible")});
    ReplaySpeed->setToolTip(QStringLiteral("How fast the replay plays"));
    placer_.Place(ReplaySpeed, ReplaySpeedTwips, 8);
    ReplaySpeed->hide();
}

void frmSimulation::ConnectReplayTools()
{
    connect(Timeline, &ReplayTimeline::seekRequested, this, [this](long long tick) { SeekTo(tick); });
    connect(ReplaySpeed, &QComboBox::currentIndexChanged, this, [this] { ApplyControls(); });
    auto key = [this](QKeySequence sequence, auto action) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            if (participant_.ReplayMode && session_.replay.Loaded()) action();
        });
    };
    key(Qt::Key_Space, [this] { PlayOrPause(); });
    key(Qt::Key_Left, [this] { SeekTo(session_.ticksLived - 1); });
    key(Qt::Key_Right, [this] { SeekTo(session_.ticksLived + 1); });
    key(Qt::Key_PageDown, [this] { SeekTo(Timeline->NextDecision(session_.ticksLived).value_or(Timeline->Length())); });
    key(Qt::Key_PageUp, [this] { SeekTo(Timeline->PreviousDecision(session_.ticksLived).value_or(0)); });
    key(Qt::Key_Home, [this] { SeekTo(0); });
    key(Qt::Key_End, [this] { SeekTo(Timeline->Length()); });
}

void frmSimulation::RefreshTimeline()
{
    const TrialSession::ReplayStory story = session_.ReplayToEnd();
    Timeline->ShowTrial(story.events, story.ticks);
    Timeline->ShowTick(session_.ticksLived);
}

void frmSimulation::SeekTo(long long tick)
{
    if (ticking_ || !session_.replay.Loaded()) return;
    session_.SeekReplay(std::clamp<long long>(tick, 0, Timeline->Length()));
    Timeline->ShowTick(session_.ticksLived);
}

void frmSimulation::PlayOrPause()
{
    const Controls c = session_.controls();
    if (c.PauseVisible && c.PauseEnabled)
        session_.replay.Pause();
    else if (c.PlayVisible && c.PlayEnabled)
        session_.replay.Play();
}

// As fast as possible, a frame's worth of ticks is played unseen and the
// plant drawn once: the same core, the same end.
void frmSimulation::ReplayTick()
{
    if (ReplaySpeed->currentIndex() == FastestReplaySpeed)
        session_.SeekReplay(session_.ticksLived + TicksPerFastFrame);
    else
        session_.Tick();
    Timeline->ShowTick(session_.ticksLived);
}

}  // namespace kestu::ui
