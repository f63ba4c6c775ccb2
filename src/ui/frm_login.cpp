#include "ui/frm_login.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "data/experiment_db.h"
#include "trials/number_text.h"
#include "ui/frm_new_user.h"
#include "ui/prompts.h"
#include "data/participant_lock.h"
#include "ui/user_id_rule.h"

namespace kestu::ui {

namespace {
const QString Title = QStringLiteral("Login");
}

frmLogin::frmLogin(ParticipantState& participant, std::string databasePath, QWidget* parent)
    : QDialog(parent), participant_(participant), databasePath_(std::move(databasePath))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(Title);
    setModal(true);
    BuildModeGroup();
    BuildUserIdRow();
    LayOut();

    connect(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
    // Esc and the title bar's close button are a Cancel.
    connect(this, &QDialog::rejected, this, [this] { LoginAccepted = false; });
    // What is typed stays as typed; the rule shows while it breaks the rule.
    connect(txtUserID, &QLineEdit::textEdited, this,
            [this](const QString& text) { ShowUserIdRule(!text.isEmpty() && !IsValidUserId(text)); });

    Form_Load();
}

void frmLogin::BuildModeGroup()
{
    fraMode = new QGroupBox(QStringLiteral("Simulation Mode"), this);
    fraMode->setObjectName(QStringLiteral("Frame1"));
    Experiment = new QRadioButton(QStringLiteral("Experiment"), fraMode);
    Experiment->setObjectName(QStringLiteral("Experiment"));
    Experiment->setChecked(true);
    Replay = new QRadioButton(QStringLiteral("Replay"), fraMode);
    Replay->setObjectName(QStringLiteral("Replay"));
    Training = new QRadioButton(QStringLiteral("Training"), fraMode);
    Training->setObjectName(QStringLiteral("Training"));
    auto* modes = new QVBoxLayout(fraMode);
    modes->addWidget(Experiment);
    modes->addWidget(Replay);
    modes->addWidget(Training);
}

void frmLogin::BuildUserIdRow()
{
    lblLabels0 = new QLabel(QStringLiteral("&User ID:"), this);
    lblLabels0->setObjectName(QStringLiteral("lblLabels_0"));
    txtUserID = new QLineEdit(this);
    txtUserID->setObjectName(QStringLiteral("txtUserID"));
    lblLabels0->setBuddy(txtUserID);
    lblUserIdRule = new QLabel(UserIdRuleText(), this);
    lblUserIdRule->setObjectName(QStringLiteral("lblUserIdRule"));
    lblUserIdRule->setWordWrap(true);
    lblUserIdRule->setStyleSheet(QStringLiteral("color: rgb(176, 0, 0);"));
    // The rule's room is kept while it is hidden, so showing it moves and
    // clips nothing.
    QSizePolicy keepRoom = lblUserIdRule->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    lblUserIdRule->setSizePolicy(keepRoom);
    lblUserIdRule->hide();

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
}

void frmLogin::LayOut()
{
    auto* idRow = new QHBoxLayout;
    idRow->addWidget(lblLabels0);
    idRow->addWidget(txtUserID);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    buttons->addStretch();
    auto* grid = new QGridLayout(this);
    grid->addLayout(idRow, 0, 0);
    grid->addWidget(lblUserIdRule, 1, 0);
    grid->addWidget(fraMode, 2, 0);
    grid->addLayout(buttons, 0, 1, 3, 1);

    setTabOrder(txtUserID, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, Experiment);
    setTabOrder(Experiment, Replay);
    setTabOrder(Replay, Training);
}

frmLogin::~frmLogin() = default;

void frmLogin::ShowUserIdRule(bool shown) { lblUserIdRule->setVisible(shown); }

void frmLogin::Form_Load()
{
    txtUserID->setText(QString());
    txtUserID->setFocus();
}

void frmLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    txtUserID->setFocus();
    emit shown();
}

void frmLogin::BackToUserId()
{
    txtUserID->setFocus();
}

void frmLogin::Report(QMessageBox::Icon icon, const QString& text)
{
    ShowMessage(this, icon, Title, text);
    BackToUserId();
}

void frmLogin::cmdCancel_Click()
{
    LoginAccepted = false;
    reject();
}

void frmLogin::cmdOK_Click()
{
    // The mode is taken on every press, before the User ID is looked at.
    participant_.TrainingMode = false;
    const QString typed = txtUserID->text();
    participant_.UserID = typed.toStdString();
    if (Experiment->isChecked()) {
        participant_.ReplayMode = false;
    } else if (Training->isChecked()) {
        participant_.TrainingMode = true;
        participant_.ReplayMode = false;
    } else {
        participant_.ReplayMode = true;
    }

    if (typed.isEmpty()) {
        Report(QMessageBox::Information, QStringLiteral("A User ID must be specified."));
        return;
    }
    if (!IsValidUserId(typed)) {
        ShowUserIdRule(true);
        Report(QMessageBox::Warning, UserIdRuleText());
        return;
    }

    // One running copy per participant: held from here until the program ends.
    lock_.reset();
    auto lock = ParticipantLock::Take(databasePath_, typed.toStdString());
    if (!lock) {
        Report(QMessageBox::Warning, QString::fromStdString(lock.error()));
        return;
    }
    lock_ = std::move(lock).value();

    // Every press opens the database afresh.
    db_.reset();
    auto opened = ExperimentDb::Open(databasePath_, OpenMode::ReadWrite);
    if (!opened) {
        Report(QMessageBox::Critical, QString::fromStdString(opened.error()));
        return;
    }
    db_ = std::move(opened).value();
    auto found = db_->FindParticipant(typed.toStdString());
    if (!found) {
        Report(QMessageBox::Critical, QString::fromStdString(found.error()));
        return;
    }

    if (!found.value()) {
        const auto answer = ShowMessage(this, QMessageBox::Warning, Title,
                                        QStringLiteral("User ID not found.  Register as a new user?"),
                                        QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes || !Register(typed)) BackToUserId();
        return;
    }
    AcceptKnownParticipant(found.value()->TrialNum);
}

bool frmLogin::Register(const QString& userId)
{
    frmNewUser questionnaire(participant_, *db_, this);
    questionnaire.ID->setText(userId);
    RunModal(questionnaire);
    if (!questionnaire.Registered) return false;
    LoginAccepted = true;
    accept();
    return true;
}

bool frmLogin::AcceptKnownParticipant(const std::string& trialNumText)
{
    const auto trialNum = ParseInteger(trialNumText);
    if (!trialNum || *trialNum < 0 || *trialNum > 32767) {
        Report(QMessageBox::Critical,
               QStringLiteral("%1: table UserData, column TrialNum, row of User ID \"%2\": \"%3\" is not a "
                              "trial count (a whole number from 0 to 32767).")
                   .arg(QString::fromStdString(databasePath_), txtUserID->text(),
                        QString::fromStdString(trialNumText)));
        return false;
    }
    participant_.TrialNum = static_cast<int>(*trialNum);
    LoginAccepted = true;
    accept();
    return true;
}

}  // namespace kestu::ui
