#include "ui/frm_simulation.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

#include "ui/captions.h"
#include "ui/fault_words.h"
#include "ui/plant_view.h"
#include "ui/prompts.h"
#include "ui/speed_scroll_bar.h"
#include "ui/twip_scale.h"

namespace kestu::ui {

namespace {
constexpr double CaptionPoints = 8;
constexpr int PanelX = 9750;       // the counters and buttons right of the plant
constexpr int PanelWidth = 3300;
constexpr int HalfWidth = 1560;
constexpr int SecondHalfX = PanelX + PanelWidth - HalfWidth;
constexpr int ButtonHeight = 435;
// The deadline column at the right edge: each time with its tank's number to its left.
constexpr int DeadlineTankX = 13140;
constexpr int DeadlineTankWidth = 300;
constexpr int DeadlineX = 13470;
constexpr int DeadlineWidth = 795;
const QColor DeadlineTankColour(70, 70, 70);  // as the numbers on the tanks

QString Q(const std::string& text) { return QString::fromStdString(text); }

QLabel* NewLabel(QWidget* parent, const QString& name, const QString& caption, const QString& tip = {})
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    if (!tip.isEmpty()) label->setToolTip(tip);
    return label;
}

QPushButton* NewButton(QWidget* parent, const QString& name, const QString& caption, const QString& tip = {})
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    if (!tip.isEmpty()) button->setToolTip(tip);
    return button;
}

QGroupBox* NewFrame(QWidget* parent, const QString& name, const QString& caption)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(name);
    return frame;
}

void SetColours(QWidget* widget, const QColor& text, const QColor& back)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Window, back);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetBold(QWidget* widget)
{
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

// A bold, centred figure: its name, first text, tooltip, place (twips) and size (points).
struct Figure {
    QString name, text, tip;
    QRect twips;
    double points;
};
struct Frame {
    QString name, title;
    QRect twips;
};

// A frame with one bold, centred figure inside it.
QLabel* FramedFigure(QWidget* parent, TwipPlacer& placer, const Frame& f, const Figure& figure, QGroupBox*& frame)
{
    frame = NewFrame(parent, f.name, f.title);
    placer.Place(frame, f.twips, CaptionPoints);
    QLabel* label = NewLabel(frame, figure.name, figure.text, figure.tip);
    label->setAlignment(Qt::AlignCenter);
    SetBold(label);
    placer.Place(label, figure.twips, figure.points, true);
    return label;
}

// A big boxed figure in its own colours.
QLabel* BoxedCounter(QWidget* parent, TwipPlacer& placer, const Figure& figure, QColor text, QColor back)
{
    QLabel* label = NewLabel(parent, figure.name, figure.text, figure.tip);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Box);
    SetBold(label);
    SetColours(label, text, back);
    placer.Place(label, figure.twips, figure.points);
    return label;
}
// The deadline column at the right edge: its heading, then each deadline's
// tank number beside its time. Returns the heading.
QLabel* BuildDeadlineColumn(QWidget* parent, TwipPlacer& placer, std::array<QLabel*, 12>& tanks,
                            std::array<QLabel*, 12>& times)
{
    QLabel* heading = NewLabel(parent, QStringLiteral("Label7"), QStringLiteral("Deadlines"));
    heading->setAlignment(Qt::AlignCenter);
    placer.Place(heading, QRect(DeadlineTankX, 120, DeadlineX + DeadlineWidth - DeadlineTankX, 255), CaptionPoints);
    for (int k = 0; k < 12; ++k) {
        const QString tip = QStringLiteral("Deadline of tank %1").arg(LabelledTanks[k]);
        // The tank's number beside its time; transparent, so it takes the window's colours.
        tanks[k] = NewLabel(parent, QStringLiteral("DeadlineTank_%1").arg(k), QString::number(LabelledTanks[k]), tip);
        tanks[k]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QPalette palette = tanks[k]->palette();
        palette.setColor(QPalette::WindowText, DeadlineTankColour);
        tanks[k]->setPalette(palette);
        placer.Place(tanks[k], QRect(DeadlineTankX, 450 + k * 420, DeadlineTankWidth, 330), CaptionPoints);
        times[k] = NewLabel(parent, QStringLiteral("TankDL_%1").arg(k), QStringLiteral("- -:- -"), tip);
        times[k]->setAlignment(Qt::AlignCenter);
        times[k]->setFrameShape(QFrame::Panel);
        times[k]->setFrameShadow(QFrame::Sunken);
        placer.Place(times[k], QRect(DeadlineX, 450 + k * 420, DeadlineWidth, 330), CaptionPoints);
    }
    return heading;
}
}  // namespace

frmSimulation::frmSimulation(ParticipantState& participant, std::string databasePath, std::string programFolder,
                             EngineConstants constants, QWidget* parent)
    : QWidget(parent, Qt::Window), participant_(participant), databasePath_(std::move(databasePath)),
      programFolder_(std::move(programFolder)), constants_(constants), store_(databasePath_, OutboxPath(programFolder_)),
      session_(participant, store_, programFolder_, constants)
{
    setObjectName(QStringLiteral("frmSimulation"));
    setWindowTitle(SimulationTitle(databasePath_));
    plantView = new PlantView(model_, this);
    BuildControls();
    ConnectSession();
    ConnectControls();
    Simulator.setObjectName(QStringLiteral("Simulator"));
    Simulator.setInterval(1000);
    SimBackground(0);
    resize(sizeHint());
}

QSize frmSimulation::sizeHint() const
{
    return TwipScale().ToPixels(QRect(0, 0, DesignWidth, DesignHeight)).size();
}

frmSimulation::~frmSimulation()
{
    Simulator.stop();
    if (PartnerWindow) PartnerWindow->close();
    session_.CloseWindow();
    session_.observers.Remove(this);
    session_.host = {};
    session_.ShowOn(nullptr);
}

void frmSimulation::BuildControls()
{
    BuildPlantControls();
    BuildCounters();
    BuildButtons();
    BuildConsoles();
    BuildSpeedGroup();
}

void frmSimulation::BuildPlantControls()
{
    const PlantLayout& layout = model_.layout();
    for (int s = 0; s < SwitchCount; ++s) {
        Switch[s] = NewButton(this, QStringLiteral("Switch_%1").arg(s), s % 2 == 0 ? QStringLiteral("1") : QStringLiteral("2"));
        Switch[s]->setFocusPolicy(Qt::NoFocus);
        placer_.Place(Switch[s], layout.SwitchButton(s), CaptionPoints);
    }
    for (int t = 0; t < TankCount; ++t) {
        MissedFB[t] = NewLabel(this, QStringLiteral("MissedFB_%1").arg(t), QStringLiteral("120"));
        MissedFB[t]->setAlignment(Qt::AlignCenter);
        MissedFB[t]->setAttribute(Qt::WA_TransparentForMouseEvents);
        SetBold(MissedFB[t]);
        placer_.Place(MissedFB[t], layout.MissedLabel(t), 13.5);
        MissedFB[t]->hide();
    }
}

void frmSimulation::BuildCounters()
{
    const QRect inHalf(90, 255, HalfWidth - 180, 330);
    const QRect inWhole(90, 270, PanelWidth - 180, 420);
    TrialNum = FramedFigure(this, placer_, {QStringLiteral("Frame3"), QStringLiteral("Trial #"),
                                            QRect(PanelX, 120, HalfWidth, 660)},
                            {QStringLiteral("TrialNum"), QStringLiteral("-"), QStringLiteral("Current Trial Number"),
                             inHalf, 10},
                            fraTrialNum);
    SimulatorMode = FramedFigure(this, placer_, {QStringLiteral("Frame2"), QStringLiteral("Simulator Mode"),
                                                 QRect(SecondHalfX, 120, HalfWidth, 660)},
                                 {QStringLiteral("SimulatorMode"), QStringLiteral("Experiment"),
                                  QStringLiteral("Current Simulator Type"), inHalf, 10},
                                 fraSimulatorMode);
    SimTime = FramedFigure(this, placer_, {QStringLiteral("Frame1"), QStringLiteral("Simulation Time"),
                                           QRect(PanelX, 870, PanelWidth, 780)},
                           {QStringLiteral("SimTime"), QStringLiteral("- -:- -"), QStringLiteral("Current Simulation Time"),
                            inWhole, 14},
                           fraSimTime);

    lblMissedBuckets = NewLabel(this, QStringLiteral("Label9"), QStringLiteral("Missed Water Buckets"));
    placer_.Place(lblMissedBuckets, QRect(PanelX, 1770, PanelWidth, 255), CaptionPoints);
    TotalMissedBuckets = BoxedCounter(this, placer_,
                                      {QStringLiteral("TotalMissedBuckets"), QStringLiteral("0"),
                                       QStringLiteral("Missed Water Buckets"), QRect(PanelX, 2040, PanelWidth, 690), 24},
                                      QColor(255, 255, 0), QColor(0, 0, 0));
    lblPumpsInUse = NewLabel(this, QStringLiteral("Label3"), QStringLiteral("Pumps In Use"));
    placer_.Place(lblPumpsInUse, QRect(PanelX, 2850, PanelWidth, 255), CaptionPoints);
    PumpsInUse = BoxedCounter(this, placer_,
                              {QStringLiteral("PumpsInUse"), QStringLiteral("0"), QStringLiteral("Number of Active Pumps"),
                               QRect(PanelX, 3120, PanelWidth, 870), 36},
                              QColor(0, 0, 0), QColor(255, 0, 0));
    lblDeadlines = BuildDeadlineColumn(this, placer_, DeadlineTank, TankDL);
}

void frmSimulation::BuildButtons()
{
    auto place = [&](QPushButton* button, int x, int y) {
        placer_.Place(button, QRect(x, y, HalfWidth, ButtonHeight), CaptionPoints);
    };
    cmdSetup = NewButton(this, QStringLiteral("cmdSetup"), QStringLiteral("&Setup"), QStringLiteral("Setup Simulation Scenario"));
    place(cmdSetup, PanelX, 4140);
    Training = NewButton(this, QStringLiteral("Training"), QStringLiteral("Setup &Training"));
    place(Training, SecondHalfX, 4140);
    Training->hide();
    cmdSimulate = NewButton(this, QStringLiteral("cmdSimulate"), QStringLiteral("Start Simul&ation"), QStringLiteral("Start/Stop Simulation"));
    cmdSimulate->setEnabled(false);
    place(cmdSimulate, PanelX, 4680);
    FFButton = NewButton(this, QStringLiteral("FFButton"), QStringLiteral("&Feedforward"), QStringLiteral("Save/Restore Simulation Snapshot"));
    FFButton->setEnabled(false);
    place(FFButton, SecondHalfX, 4680);
    cmdDetailFB = NewButton(this, QStringLiteral("cmdDetailFB"), QStringLiteral("&Detail Feedback"));
    cmdDetailFB->hide();
    place(cmdDetailFB, PanelX, 5220);
    cmdAnimate = NewButton(this, QStringLiteral("Command1"), QStringLiteral("Animate"));
    cmdAnimate->hide();
    place(cmdAnimate, SecondHalfX, 5220);
    cmdTeamMode = NewButton(this, QStringLiteral("Command2"), QStringLiteral("Team &Mode >>"));
    cmdTeamMode->hide();
    place(cmdTeamMode, PanelX, 5760);
}

void frmSimulation::BuildConsoles()
{
    DecisionConsole = NewFrame(this, QStringLiteral("DecisionConsole"), QStringLiteral("Decision Method"));
    placer_.Place(DecisionConsole, QRect(PanelX, 6330, PanelWidth, 720), CaptionPoints);
    optInteractive = new QRadioButton(QStringLiteral("Interactive"), DecisionConsole);
    optInteractive->setObjectName(QStringLiteral("Option1"));
    optInteractive->setChecked(true);
    placer_.Place(optInteractive, QRect(150, 300, 1400, 300), CaptionPoints, true);
    optRandom = new QRadioButton(QStringLiteral("Random"), DecisionConsole);
    optRandom->setObjectName(QStringLiteral("Option2"));
    placer_.Place(optRandom, QRect(1700, 300, 1400, 300), CaptionPoints, true);
    DecisionConsole->hide();

    ReplayConsole = NewFrame(this, QStringLiteral("ReplayConsole"), QStringLiteral("Replay Simulator Console"));
    placer_.Place(ReplayConsole, QRect(PanelX, 7170, PanelWidth, 1560), CaptionPoints);
    lblReplayTrial = NewLabel(ReplayConsole, QStringLiteral("Label6"), QStringLiteral("Replay Trial:"));
    placer_.Place(lblReplayTrial, QRect(150, 345, 1150, 285), CaptionPoints, true);
    ReplayList = new QComboBox(ReplayConsole);
    ReplayList->setObjectName(QStringLiteral("ReplayList"));
    ReplayList->setEditable(false);
    placer_.Place(ReplayList, QRect(1350, 300, 1800, 360), CaptionPoints, true);
    auto picture = [&](const QString& name, QStyle::StandardPixmap icon, const QString& tip, int x) {
        QPushButton* button = NewButton(ReplayConsole, name, QString(), tip);
        button->setIcon(style()->standardIcon(icon));
        button->setIconSize(QSize(30, 30));
        placer_.Place(button, QRect(x, 840, 540, 540), CaptionPoints, true);
        return button;
    };
    PlayButton = picture(QStringLiteral("PlayButton"), QStyle::SP_MediaPlay, QStringLiteral("Play Simulation"), 300);
    PauseButton = picture(QStringLiteral("PauseButton"), QStyle::SP_MediaPause, QStringLiteral("Pause Simulation"), 1380);
    StopButton = picture(QStringLiteral("StopButton"), QStyle::SP_MediaStop, QStringLiteral("Stop & Reset Simulation"), 2460);
    BuildReplayTools();
}

void frmSimulation::BuildSpeedGroup()
{
    lblSpeed = NewLabel(this, QStringLiteral("Label1"), QStringLiteral("Simulation Speed"));
    lblSpeed->setAlignment(Qt::AlignCenter);
    placer_.Place(lblSpeed, QRect(PanelX, 8880, PanelWidth, 255), CaptionPoints);
    lblFaster = NewLabel(this, QStringLiteral("Label2"), QStringLiteral("Faster"));
    placer_.Place(lblFaster, QRect(PanelX, 9195, 600, 255), CaptionPoints);
    HScroll1 = NewSpeedScrollBar(this);
    placer_.Place(HScroll1, QRect(PanelX + 630, 9180, 2040, 285), CaptionPoints);
    lblSlower = NewLabel(this, QStringLiteral("Label4"), QStringLiteral("Slower"));
    lblSlower->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placer_.Place(lblSlower, QRect(PanelX + 2700, 9195, 600, 255), CaptionPoints);
    lblSimLength = NewLabel(this, QStringLiteral("Label5"), QStringLiteral("15 Minute Simulation"));
    lblSimLength->setAlignment(Qt::AlignCenter);
    placer_.Place(lblSimLength, QRect(PanelX, 9525, PanelWidth, 255), CaptionPoints);
}

void frmSimulation::ConnectSession()
{
    session_.ShowOn(this);
    session_.observers.Add(this);
    session_.host.controlsChanged = [this] { ApplyControls(); };
    // A restored snapshot starts the run's ticks afresh from now.
    session_.host.restartTimer = [this] {
        if (Simulator.isActive()) Simulator.start(TimerInterval());
    };
    session_.host.timerChanged = [this](bool running) {
        if (running)
            Simulator.start(TimerInterval());
        else
            Simulator.stop();
    };
    // The window repaints inside a tick, but a participant's click waits for
    // the tick's end: the log stamps a click with the clock alone, and a
    // replay applies it between ticks, so that is where the window must too.
    session_.host.yield = [](YieldPoint) { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
}

void frmSimulation::ConnectControls()
{
    connect(&Simulator, &TickTimer::timeout, this, &frmSimulation::Simulator_Timer);
    connect(cmdSetup, &QPushButton::clicked, this, [this] { session_.trial.SetUpTrial(); });
    connect(Training, &QPushButton::clicked, this, [this] { session_.trial.SetUpTraining(); });
    connect(cmdSimulate, &QPushButton::clicked, this, [this] { session_.trial.StartOrStop(); });
    connect(FFButton, &QPushButton::clicked, this, [this] { session_.snapshots.SaveOrRestore(); });
    connect(cmdDetailFB, &QPushButton::clicked, this, [this] { session_.trial.ToggleDetailFeedback(); });
    connect(cmdAnimate, &QPushButton::clicked, this, &frmSimulation::cmdAnimate_Click);
    connect(cmdTeamMode, &QPushButton::clicked, this, &frmSimulation::cmdTeamMode_Click);
    for (int s = 0; s < SwitchCount; ++s)
        connect(Switch[s], &QPushButton::clicked, this, [this, s] { session_.trial.ClickSwitch(s); });
    connect(optRandom, &QRadioButton::toggled, this,
            [this] { session_.decisionChoice = optRandom->isChecked() ? 1 : 0; });
    connect(ReplayList, &QComboBox::activated, this, [this] {
        bool chosen = false;
        const int trial = ReplayList->currentText().toInt(&chosen);
        session_.replay.selection = chosen ? std::optional<int>(trial) : std::nullopt;
        session_.replay.Load();
        RefreshTimeline();
    });
    connect(PlayButton, &QPushButton::clicked, this, [this] { session_.replay.Play(); });
    connect(PauseButton, &QPushButton::clicked, this, [this] { session_.replay.Pause(); });
    connect(StopButton, &QPushButton::clicked, this, [this] {
        session_.replay.Restart();
        RefreshTimeline();
    });
    ConnectReplayTools();
    connect(HScroll1, &QScrollBar::valueChanged, this, [this](int value) { session_.trial.ChangeSpeed(value); });
}

bool frmSimulation::Form_Load()
{
    const bool loaded = session_.trial.LoadPlant();
    ApplyControls();
    return loaded;
}

int frmSimulation::TimerInterval() const
{
    // As fast as possible: a frame's worth of ticks 30 times a second.
    if (participant_.ReplayMode && ReplaySpeed->currentIndex() == FastestReplaySpeed) return 33;
    const int faster = participant_.ReplayMode ? 1 << std::max(0, ReplaySpeed->currentIndex()) : 1;
    // A zero interval would fire without pause and starve the window of events.
    return std::max(1, session_.timerInterval / faster);
}

void frmSimulation::Simulator_Timer()
{
    if (ticking_) return;  // a timer event during one of the tick's yields
    ticking_ = true;
    if (participant_.ReplayMode)
        ReplayTick();
    else
        session_.Tick();
    ticking_ = false;
    // A close asked for inside the tick waits for its end, so the trial log's
    // STOP carries the clock the participant saw, as a replay reads it.
    if (closeAfterTick_) close();
}

// Faults are worded here; the trial goes on or has stopped as the session decided.
void frmSimulation::OnTrialEvent(const TrialEvent& event)
{
    if (event.Kind != TrialEventKind::Fault || !event.Fault) return;
    const auto icon = IsNotice(*event.Fault) ? QMessageBox::Information : QMessageBox::Warning;
    ShowMessage(this, icon, QString::fromUtf8(SimulationMessageTitle), Q(FaultSentence(*event.Fault)));
}

void frmSimulation::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const TwipScale scale(size(), QSize(DesignWidth, DesignHeight));
    plantView->setGeometry(rect());
    plantView->lower();
    plantView->SetScale(scale);
    placer_.Apply(scale);
}

void frmSimulation::closeEvent(QCloseEvent* event)
{
    if (ticking_) {
        closeAfterTick_ = true;
        event->ignore();
        return;
    }
    Simulator.stop();
    session_.CloseWindow();
    event->accept();
}

}  // namespace kestu::ui
