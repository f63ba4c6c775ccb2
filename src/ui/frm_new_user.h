#pragma once

#include <QDialog>

#include "data/participant_login.h"
#include "trials/participant.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestu::ui {

// The background questionnaire of a participant whose User ID is not yet
// registered. OK checks the answers and stores them through `add` as the
// participant's row.
class frmNewUser : public QDialog {
    Q_OBJECT
public:
    frmNewUser(ParticipantState& participant, AddParticipantFn add, QWidget* parent = nullptr);

    // True only after OK has stored the participant's row.
    bool Registered = false;

    void cmdOK_Click();
    void cmdCancel_Click();

    QLabel* ID;
    QLineEdit* FName;
    QLineEdit* LName;
    QComboBox* Class;
    QComboBox* Major;
    QComboBox* Sex;
    QLineEdit* Age;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    void Form_Load();
    bool Refuse(const QString& text);
    static void SelectEntry(QComboBox* list, const QString& entry);

    ParticipantState& participant_;
    AddParticipantFn add_;
};

}  // namespace kestu::ui
