#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

#include "data/db_experiment_store.h"
#include "engine/display.h"
#include "trials/trial_session.h"
#include "ui/plant_model.h"
#include "ui/tick_timer.h"
#include "ui/twip_placer.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace kestu::ui {

// The replay speeds: the trial's own, 2, 4 and 8 times it, as fast as possible.
inline constexpr int FastestReplaySpeed = 4;

class PlantView;
class ReplayTimeline;

// The window in which trials are set up, run, watched and replayed. It shows
// what the trial session decides and forwards every click to it; the plant is
// drawn by a PlantView from the display model this window keeps.
class frmSimulation : public QWidget, public Display, public TrialObserver {
    Q_OBJECT
public:
    frmSimulation(ParticipantState& participant, std::string databasePath, std::string programFolder,
                  EngineConstants constants = {}, QWidget* parent = nullptr);
    ~frmSimulation() override;

    // The design area at 15 twips per pixel.
    QSize sizeHint() const override;

    // The window's load step; false (after a message) when the plant cannot load.
    bool Form_Load();

    TrialSession& session() { return session_; }
    // Checked before every trial is claimed (the participant's lock still held).
    void CheckBeforeClaim(std::function<Status()> check) { store_.beforeClaim = std::move(check); }
    const PlantModel& plantModel() const { return model_; }
    const TwipPlacer& placer() const { return placer_; }

    // Display: the engine draws through these.
    void FillTank(int num, long long amount) override;
    void PipeWater(int region, bool visible) override;
    void ShowSwitchStatus(int switchNum, SwitchStatus status) override;
    void ShowPumpsInUse(int pumps) override;
    void ShowClock(kestu::ClockTime time) override;

    // 0: the normal colours; anything else: the colours of a held snapshot.
    void SimBackground(int colorType);
    // The window and the captions, figures and frames that SimBackground colours.
    QList<QWidget*> BackgroundSet() const;
    // One tick of the Simulator timer; a tick never starts inside another.
    void Simulator_Timer();
    // Animate: a check of the drawing, every tank ramped up with its pipe flowing.
    void cmdAnimate_Click();
    // Team Mode: a partner window on the same participant's plant.
    void cmdTeamMode_Click();
    // The options dialog decides whether the feedforward button is offered.
    void OfferFeedforward(bool offered);
    // Switch buttons of a partner window stay disabled whatever the session says.
    void LockSwitches();
    // Shows the session's controls; runs after every operation.
    void ApplyControls();
    // The trial's events: the window shows its faults.
    void OnTrialEvent(const TrialEvent& event) override;
    TrialEventKinds Wanted() const override { return KindBit(TrialEventKind::Fault); }

    QPushButton* cmdSetup;
    QPushButton* Training;
    QPushButton* cmdSimulate;
    QPushButton* FFButton;
    QPushButton* cmdDetailFB;
    QPushButton* cmdAnimate;
    QPushButton* cmdTeamMode;
    std::array<QPushButton*, SwitchCount> Switch{};
    QGroupBox* DecisionConsole;
    QRadioButton* optInteractive;
    QRadioButton* optRandom;
    QGroupBox* fraSimTime;
    QGroupBox* fraSimulatorMode;
    QGroupBox* fraTrialNum;
    QLabel* TrialNum;
    QLabel* SimulatorMode;
    QLabel* SimTime;
    QGroupBox* ReplayConsole;
    QLabel* lblReplayTrial;
    QComboBox* ReplayList;
    QPushButton* PlayButton;
    QPushButton* PauseButton;
    QPushButton* StopButton;
    QLabel* lblMissedBuckets;
    QLabel* TotalMissedBuckets;
    QLabel* lblPumpsInUse;
    QLabel* PumpsInUse;
    QLabel* lblDeadlines;
    std::array<QLabel*, 12> TankDL{};
    std::array<QLabel*, 12> DeadlineTank{};  // the number of each deadline's tank
    std::array<QLabel*, TankCount> MissedFB{};
    QLabel* lblSpeed;
    QScrollBar* HScroll1;
    QLabel* lblFaster;
    QLabel* lblSlower;
    QLabel* lblSimLength;  // how long a trial lasts at the chosen speed
    TickTimer Simulator;
    PlantView* plantView;
    ReplayTimeline* Timeline;  // Replay mode: the trial's strip under the plant
    QComboBox* ReplaySpeed;    // Replay mode: the trial's speed, faster, or as fast as possible
    QPointer<frmSimulation> PartnerWindow;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildCounters();
    void BuildButtons();
    void BuildConsoles();
    void BuildSpeedGroup();
    void BuildPlantControls();
    void ConnectSession();
    void ConnectControls();
    void ApplyReplayList();
    void BuildReplayTools();
    void ConnectReplayTools();
    // The timeline of the replay just loaded (or none).
    void RefreshTimeline();
    // Moves the replay to `tick`, clamped to the trial, between ticks only.
    void SeekTo(long long tick);
    void PlayOrPause();
    // Ticks a timer event plays: one, or a frame's worth as fast as possible.
    void ReplayTick();
    void TellCutOffReplay();
    int TimerInterval() const;

    ParticipantState& participant_;
    std::string databasePath_;
    std::string programFolder_;
    EngineConstants constants_;
    DbExperimentStore store_;
    TrialSession session_;
    PlantModel model_;
    TwipPlacer placer_;
    bool ticking_ = false;
    bool closeAfterTick_ = false;  // a close came during a tick
    bool switchesLocked_ = false;
    bool cutOffShown_ = false;  // the replay's cut-off end has been told
};

}  // namespace kestu::ui
