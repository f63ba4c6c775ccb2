// The simulation window's drawing operations: the engine's display calls,
// the background colours, the animation test and the partner window.
#include <QApplication>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "scenario/deadlines.h"
#include "ui/frm_simulation.h"
#include "ui/plant_view.h"
#include "ui/prompts.h"
#include "ui/twip_scale.h"

namespace kestu::ui {

namespace {
const QColor SnapshotBackground(255, 192, 192);
}

void frmSimulation::FillTank(int num, long long amount)
{
    if (const auto dirty = model_.FillTank(num, amount)) plantView->UpdateTwips(*dirty);
}

void frmSimulation::PipeWater(int region, bool visible)
{
    if (const auto dirty = model_.PipeWater(region, visible)) plantView->UpdateTwips(*dirty);
}

void frmSimulation::ShowSwitchStatus(int switchNum, SwitchStatus status)
{
    if (const auto dirty = model_.SetLamp(switchNum, status)) plantView->UpdateTwips(*dirty);
}

void frmSimulation::ShowPumpsInUse(int pumps)
{
    if (pumps >= 0 && pumps <= 5) {
        QPalette palette = PumpsInUse->palette();
        palette.setColor(QPalette::Window, pumps == 5 ? QColor(0, 255, 0) : QColor(255, 0, 0));
        PumpsInUse->setPalette(palette);
    }
    PumpsInUse->setText(QString::number(pumps));
}

void frmSimulation::ShowClock(kestu::ClockTime time)
{
    SimTime->setText(QString::fromStdString(FormatClock(time)));
}

QList<QWidget*> frmSimulation::BackgroundSet() const
{
    QList<QWidget*> set = {const_cast<frmSimulation*>(this), fraSimTime,   fraSimulatorMode, fraTrialNum,
                           TrialNum,     ReplayConsole, SimulatorMode,  SimTime,
                           lblSpeed,     lblFaster,     lblPumpsInUse,  lblSlower,
                           lblSimLength, lblReplayTrial, lblDeadlines,  lblMissedBuckets};
    for (QLabel* label : TankDL) set.push_back(label);
    return set;
}

void frmSimulation::SimBackground(int colorType)
{
    const QColor colour =
        colorType == 0 ? QApplication::palette().color(QPalette::Button) : SnapshotBackground;
    for (QWidget* widget : BackgroundSet()) {
        if (widget->palette().color(QPalette::Window) == colour && widget->autoFillBackground()) continue;
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, colour);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    }
}

// A display test: every pipe flowing, every tank ramped from 0 to 100 buckets.
void frmSimulation::cmdAnimate_Click()
{
    Display& display = session_.engine.display();
    for (int t = 0; t < TankCount; ++t) display.PipeWater(t, true);
    for (int amount = 0; amount <= 100; ++amount) {
        for (int t = 0; t < TankCount; ++t) {
            display.FillTank(t, amount);
            QCoreApplication::processEvents();
        }
        session_.engine.NextSimTime();
    }
    for (int t = 0; t < TankCount; ++t) display.PipeWater(t, false);
}

void frmSimulation::cmdTeamMode_Click()
{
    // The partner's load would reset a running plant under the participant.
    if (session_.Ticking()) {
        ShowMessage(this, QMessageBox::Information, windowTitle(),
                    QStringLiteral("The partner window cannot be opened while a trial runs."));
        return;
    }
    auto* partner = new frmSimulation(participant_, databasePath_, programFolder_, constants_);
    partner->setAttribute(Qt::WA_DeleteOnClose);
    if (!partner->Form_Load()) {
        delete partner;
        return;
    }
    const TwipScale design;
    const QRect placed = design.ToPixels(QRect(10350, 0, 16500, 16500 * DesignHeight / DesignWidth));
    partner->move(placed.left(), y());
    partner->resize(placed.size());
    partner->setWindowTitle(QStringLiteral("Kestu Simulation - Partner Window"));
    partner->LockSwitches();
    PartnerWindow = partner;
    partner->show();
}

void frmSimulation::LockSwitches()
{
    switchesLocked_ = true;
    for (QPushButton* button : Switch) button->setEnabled(false);
}

void frmSimulation::OfferFeedforward(bool offered)
{
    participant_.FeedforwardOn = offered;
    ApplyControls();
}

}  // namespace kestu::ui
