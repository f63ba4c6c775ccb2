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

    void Check1_Click();
    void HScroll1_Change();
    void Command1_Click();

    QCheckBox* Check1;
    QScrollBar* HScroll1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label4;
    QLabel* Label5;
    QPushButton* Command1;

private:
    ParticipantState& participant_;
    frmSimulation& simulation_;
};

}  // namespace kestu::ui
