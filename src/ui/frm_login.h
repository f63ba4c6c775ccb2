#pragma once

#include <QDialog>
#include <QMessageBox>

#include <memory>
#include <string>

#include "data/participant_login.h"
#include "trials/participant.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestu::ui {

// Identifies the participant, sets the simulator mode and looks the User ID
// up in the experiment database; unknown IDs can register on the spot.
class frmLogin : public QDialog {
    Q_OBJECT
public:
    frmLogin(ParticipantState& participant, std::string databasePath, QWidget* parent = nullptr);
    ~frmLogin() override;

    // True once a participant has been accepted.
    bool LoginAccepted = false;
    // The lock on the accepted participant, for the rest of the run.
    std::unique_ptr<ParticipantLock> TakeLock() { return std::move(lock_); }

    void cmdOK_Click();
    void cmdCancel_Click();

    QGroupBox* fraMode;
    QRadioButton* Training;
    QRadioButton* Replay;
    QRadioButton* Experiment;
    QLabel* lblLabels0;
    QLineEdit* txtUserID;
    QLabel* lblUserIdRule;  // shown when the box refuses a character
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

signals:
    void shown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildModeGroup();
    void BuildUserIdRow();
    void LayOut();
    void Form_Load();
    void BackToUserId();
    void ShowUserIdRule(bool shown);
    void Report(QMessageBox::Icon icon, const QString& text);
    bool Register(const QString& userId, const AddParticipantFn& add);
    void Accept(LoggedIn login);

    ParticipantState& participant_;
    std::string databasePath_;
    std::unique_ptr<ParticipantLock> lock_;
};

}  // namespace kestu::ui
