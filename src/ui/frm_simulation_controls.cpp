// Mirrors the trial session's control states into the simulation window.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include "ui/captions.h"
#include "ui/frm_simulation.h"
#include "ui/prompts.h"
#include "ui/replay_timeline.h"

namespace kestu::ui {

namespace {

void Show(QWidget* widget, bool visible)
{
    if (widget->isHidden() == visible) widget->setVisible(visible);
}
}  // namespace

void frmSimulation::ApplyControls()
{
    const Controls c = session_.controls();
    Show(cmdSetup, c.SetupVisible);
    cmdSetup->setEnabled(c.SetupEnabled);
    Show(Training, c.TrainingVisible);
    Show(DecisionConsole, c.DecisionConsoleVisible);
    Show(cmdSimulate, c.SimulateVisible);
    cmdSimulate->setEnabled(c.SimulateEnabled);
    cmdSimulate->setText(SimulateCaption(c.TrialRunning));
    Show(FFButton, c.FFVisible);
    FFButton->setEnabled(c.FFEnabled);
    FFButton->setText(FeedforwardCaption(c.SnapshotPending));
    Show(cmdDetailFB, c.DetailFBVisible);

    for (int t = 0; t < TankCount; ++t) {
        const auto& figure = session_.missed.PerTank[t];
        // A tank not yet judged has no figure to show.
        MissedFB[t]->setText(figure ? QString::number(*figure) : QString());
        Show(MissedFB[t], c.MissedFBVisible);
    }
    TotalMissedBuckets->setText(QString::number(session_.missed.Total));

    for (QWidget* w : {static_cast<QWidget*>(lblSpeed), static_cast<QWidget*>(lblFaster),
                       static_cast<QWidget*>(lblSlower), static_cast<QWidget*>(lblSimLength),
                       static_cast<QWidget*>(HScroll1)})
        Show(w, c.SpeedGroupVisible);
    {
        const QSignalBlocker blocker(HScroll1);
        HScroll1->setValue(session_.speedValue);
    }
    lblSimLength->setText(SpeedCaption(session_.speedValue));

    for (QPushButton* button : Switch) button->setEnabled(c.SwitchesEnabled && !switchesLocked_);
    SimulatorMode->setText(ModeCaption(c.ModeShown));
    TrialNum->setText(TrialNumberCaption(c.TrialNumShown));
    for (int k = 0; k < 12; ++k) TankDL[k]->setText(DeadlineCaption(c.Deadlines[k]));

    Show(ReplayConsole, c.ReplayConsoleVisible);
    Show(Timeline, c.ReplayConsoleVisible);
    Show(ReplaySpeed, c.ReplayConsoleVisible);
    Show(PlayButton, c.PlayVisible);
    PlayButton->setEnabled(c.PlayEnabled);
    Show(PauseButton, c.PauseVisible);
    PauseButton->setEnabled(c.PauseEnabled);
    StopButton->setEnabled(c.StopEnabled);
    ApplyReplayList();

    SimBackground(c.SnapshotPending ? 1 : 0);
    cmdTeamMode->setEnabled(!session_.Ticking());
    if (Simulator.isActive() && Simulator.interval() != TimerInterval()) Simulator.setInterval(TimerInterval());
    TellCutOffReplay();
}

// Once per replay that ends at a cut-off log, after the tick that got there.
void frmSimulation::TellCutOffReplay()
{
    const bool cutOff = participant_.ReplayMode && session_.runEnd == RunEnd::LogCutOff;
    if (!cutOff) cutOffShown_ = false;
    if (!cutOff || cutOffShown_) return;
    cutOffShown_ = true;
    const QString text = CutOffCaption(ClockTime{session_.plant().Clock});
    QTimer::singleShot(0, this, [this, text] { ShowMessage(this, QMessageBox::Information, windowTitle(), text); });
}

// The list keeps the participant's choice; it is refilled only when the trials change.
void frmSimulation::ApplyReplayList()
{
    QStringList items;
    for (int trial : session_.replayChoices) items.push_back(QString::number(trial));
    QStringList shown;
    for (int i = 0; i < ReplayList->count(); ++i) shown.push_back(ReplayList->itemText(i));
    if (items == shown) return;
    const QSignalBlocker blocker(ReplayList);
    ReplayList->clear();
    ReplayList->addItems(items);
    ReplayList->setCurrentIndex(-1);
}

}  // namespace kestu::ui
