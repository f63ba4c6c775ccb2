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

#include "ui/frm_new_user.h"
#include "ui/prompts.h"
#include "ui/user_id_rule.h"

namespace kestu::ui {

namespace {
const QString LoginTitle = QStringLiteral("Login");
}

frmLogin::frmLogin(ParticipantState& participant, std::string databasePath, QWidget* parent)
    : QDialog(parent), participant_(participant), databasePath_(std::move(databasePath))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(LoginTitle);
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
    ShowMessage(this, icon, LoginTitle, text);
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
    auto login = LogIn(databasePath_, typed.toStdString(), [this, &typed](const AddParticipantFn& add) {
        return Result<bool>(Register(typed, add));
    });
    if (!login) {
        // A participant held elsewhere is a warning; a study that fails, critical.
        const bool ofStudy = !login.fault().file.empty();
        Report(ofStudy ? QMessageBox::Critical : QMessageBox::Warning, QString::fromStdString(login.error()));
        return;
    }
    if (!login.value()) {
        BackToUserId();
        return;
    }
    Accept(std::move(*login.value()));
}

// Asks whether to register, then the questionnaire stores the answers.
bool frmLogin::Register(const QString& userId, const AddParticipantFn& add)
{
    const auto answer = ShowMessage(this, QMessageBox::Warning, LoginTitle,
                                    QStringLiteral("User ID not found.  Register as a new user?"),
                                    QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    frmNewUser questionnaire(participant_, add, this);
    questionnaire.ID->setText(userId);
    RunModal(questionnaire);
    return questionnaire.Registered;
}

void frmLogin::Accept(LoggedIn login)
{
    participant_.TrialNum = login.TrialNum;
    lock_ = std::move(login.lock);
    LoginAccepted = true;
    accept();
}

}  // namespace kestu::ui
