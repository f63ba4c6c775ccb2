#include "ui/frm_new_user.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/prompts.h"
#include "ui/questionnaire_lists.h"

namespace kestu::ui {

namespace {
const QString QuestionnaireTitle = QStringLiteral("New User Questionaire");

QComboBox* MakeList(const QString& name, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    return list;
}
}  // namespace

frmNewUser::frmNewUser(ParticipantState& participant, AddParticipantFn add, QWidget* parent)
    : QDialog(parent), participant_(participant), add_(std::move(add))
{
    setObjectName(QStringLiteral("frmNewUser"));
    setWindowTitle(QuestionnaireTitle);
    setModal(true);

    auto* heading = new QLabel(QStringLiteral("Please provide us a few background details for our experiment."), this);
    heading->setWordWrap(true);

    ID = new QLabel(QStringLiteral("User ID"), this);
    ID->setObjectName(QStringLiteral("ID"));
    FName = new QLineEdit(this);
    FName->setObjectName(QStringLiteral("FName"));
    LName = new QLineEdit(this);
    LName->setObjectName(QStringLiteral("LName"));
    Class = MakeList(QStringLiteral("Class"), this);
    Major = MakeList(QStringLiteral("Major"), this);
    Sex = MakeList(QStringLiteral("Sex"), this);
    Age = new QLineEdit(this);
    Age->setObjectName(QStringLiteral("Age"));
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User ID:"), ID);
    form->addRow(QStringLiteral("First Name:"), FName);
    form->addRow(QStringLiteral("Last Name:"), LName);
    form->addRow(QStringLiteral("Class Status:"), Class);
    form->addRow(QStringLiteral("Major:"), Major);
    form->addRow(QStringLiteral("Sex:"), Sex);
    form->addRow(QStringLiteral("Age:"), Age);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(form);
    layout->addLayout(buttons);

    setTabOrder(FName, LName);
    setTabOrder(LName, Class);
    setTabOrder(Class, Major);
    setTabOrder(Major, Sex);
    setTabOrder(Sex, Age);
    setTabOrder(Age, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    connect(cmdOK, &QPushButton::clicked, this, &frmNewUser::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmNewUser::cmdCancel_Click);
    // Closing from the title bar or with Esc is a Cancel.
    connect(this, &QDialog::rejected, this, [this] { Registered = false; });

    Form_Load();
}

void frmNewUser::Form_Load()
{
    Major->addItems(MajorEntries());
    Class->addItems(ClassStatusEntries());
    Sex->addItems(SexEntries());
    for (QComboBox* list : {Major, Class, Sex}) list->setCurrentIndex(-1);
}

void frmNewUser::SelectEntry(QComboBox* list, const QString& entry)
{
    list->setCurrentIndex(list->findText(entry));
}

bool frmNewUser::Refuse(const QString& text)
{
    ShowMessage(this, QMessageBox::Warning, QuestionnaireTitle, text);
    return false;
}

void frmNewUser::cmdOK_Click()
{
    if (FName->text().trimmed().isEmpty() || LName->text().trimmed().isEmpty()) {
        Refuse(QStringLiteral("The name fields can not be left blank."));
        return;
    }
    if (Class->currentText().trimmed().isEmpty()) SelectEntry(Class, OtherEntry);
    if (Major->currentText().trimmed().isEmpty()) SelectEntry(Major, OtherEntry);
    if (Sex->currentText().trimmed().isEmpty()) {
        Refuse(QStringLiteral("Please select a Sex."));
        return;
    }
    if (LeadingNumber(Age->text()) < 5) {
        Refuse(QStringLiteral("Please enter your age."));
        return;
    }

    // Stored exactly as typed: the experimenters want the raw answers.
    Participant row;
    row.UserID = ID->text().toStdString();
    row.LastName = LName->text().toStdString();
    row.FirstName = FName->text().toStdString();
    row.SchoolYear = Class->currentText().toStdString();
    row.Major = Major->currentText().toStdString();
    row.Age = Age->text().toStdString();
    row.Sex = Sex->currentText().toStdString();
    const Status stored = add_(row);
    if (!stored) {
        ShowMessage(this, QMessageBox::Critical, QuestionnaireTitle,
                    QStringLiteral("Your answers could not be stored, so you are not registered yet:\n%1")
                        .arg(QString::fromStdString(stored.error())));
        return;
    }

    participant_.TrialNum = 0;
    participant_.ReplayMode = false;  // a new participant has no trial to replay
    Registered = true;
    accept();
}

void frmNewUser::cmdCancel_Click()
{
    Registered = false;
    reject();
}

}  // namespace kestu::ui
