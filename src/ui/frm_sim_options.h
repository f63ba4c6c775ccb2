#pragma once

#include <QDialog>

#include "trials/participant.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace kestu::ui {

class frmSimulation;

// Before the first trial: whether the feedforward button is offered and how
// fast the simulation runs. Every choice goes straight into the participant's
// state and the simulation window.
class frmSimOptions : public QDialog {
    Q_OBJECT
public:
    frmSimOptions(ParticipantState& participant, frmSimulation& simulation, QWidget* parent = nullptr);

    void chkFeedforward_Click();
    void HScroll1_Change();
    void cmdContinue_Click();

    QCheckBox* chkFeedforward;
    QScrollBar* HScroll1;
    QLabel* lblSpeed;
    QLabel* lblFaster;
    QLabel* lblSlower;
    QLabel* lblSimLength;
    QPushButton* cmdContinue;

private:
    ParticipantState& participant_;
    frmSimulation& simulation_;
};

}  // namespace kestu::ui
