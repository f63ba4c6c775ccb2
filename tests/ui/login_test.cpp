// The login window: the User ID rule, the lookup, registration on the spot,
// and the mode flags it leaves behind.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>

#include "ui/frm_login.h"
#include "ui/frm_new_user.h"
#include "ui_fixture.h"

namespace kestu::uitest {
namespace {

class LoginTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        login_ = std::make_unique<ui::frmLogin>(participant_, dbPath_);
        login_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(login_.get()));
    }

    void PressOk(const QString& userId)
    {
        login_->txtUserID->setText(userId);
        Click(login_->cmdOK);
    }

    // Registers through the questionnaire with sensible answers.
    void AnswerQuestionnaire(QString* idShown = nullptr)
    {
        modals_.On("frmNewUser", [idShown](QDialog& dialog) {
            auto& form = dynamic_cast<ui::frmNewUser&>(dialog);
            if (idShown) *idShown = form.ID->text();
            form.FName->setText("Ann");
            form.LName->setText("Lee");
            form.Sex->setCurrentIndex(1);
            form.Age->setText("21");
            form.cmdOK_Click();
        });
    }

    std::unique_ptr<ui::frmLogin> login_;
};

TEST_F(LoginTest, OpensEmptyWithExperimentSelectedAndTheDesignedTabOrder)
{
    EXPECT_EQ(login_->windowTitle(), "Login");
    EXPECT_TRUE(login_->txtUserID->text().isEmpty());
    EXPECT_TRUE(login_->Experiment->isChecked());
    EXPECT_EQ(login_->lblLabels0->text(), "&User ID:");
    EXPECT_EQ(login_->lblLabels0->buddy(), login_->txtUserID);
    EXPECT_TRUE(login_->cmdOK->isDefault());
    EXPECT_FALSE(login_->LoginAccepted);
    EXPECT_EQ(login_->focusWidget(), login_->txtUserID);

    std::vector<QWidget*> chain;
    QWidget* w = login_->txtUserID;
    for (int i = 0; i < 6; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
        chain.push_back(w);
    }
    const std::vector<QWidget*> expected = {login_->txtUserID,  login_->cmdOK,  login_->cmdCancel,
                                            login_->Experiment, login_->Replay, login_->Training};
    EXPECT_EQ(chain, expected);
}

TEST_F(LoginTest, EmptyIdIsAnsweredWithAnInformationAndTheModeFlagsStaySet)
{
    login_->Training->setChecked(true);
    PressOk("");
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].icon, QMessageBox::Information);
    EXPECT_EQ(messages_.shown[0].title, "Login");
    EXPECT_EQ(messages_.shown[0].text, "A User ID must be specified.");
    EXPECT_EQ(messages_.shown[0].buttons, QMessageBox::Ok);
    EXPECT_FALSE(login_->LoginAccepted);
    EXPECT_TRUE(participant_.TrainingMode);
    EXPECT_FALSE(participant_.ReplayMode);
    EXPECT_EQ(login_->focusWidget(), login_->txtUserID);
    EXPECT_TRUE(login_->isVisible());
}

TEST_F(LoginTest, TheBoxRefusesCharactersThatCannotBePartOfAFileName)
{
    login_->txtUserID->setFocus();
    QTest::keyClicks(login_->txtUserID, "ab c/d.e");
    EXPECT_EQ(login_->txtUserID->text(), "abcde");
    EXPECT_TRUE(login_->lblUserIdRule->isVisible());
    QTest::keyClicks(login_->txtUserID, "_-9Zxyz");
    EXPECT_EQ(login_->txtUserID->text(), "abcde_-9") << "at most 8 characters";
}

TEST_F(LoginTest, AnIdThatBreaksTheRuleIsRefusedOnOkWithoutOpeningTheDatabase)
{
    std::filesystem::remove(dbPath_);  // a lookup would now report the missing file
    PressOk("x'y");
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].title, "Login");
    EXPECT_NE(messages_.shown[0].text.indexOf("letters"), -1) << messages_.shown[0].text.toStdString();
    EXPECT_FALSE(login_->LoginAccepted);
    EXPECT_FALSE(std::filesystem::exists(dbPath_));
}

TEST_F(LoginTest, UnknownIdAnsweredNoLeavesTheWindowOpenWithTheTextKept)
{
    messages_.answers = {QMessageBox::No};
    PressOk("newbie");
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(messages_.shown[0].title, "Login");
    EXPECT_EQ(messages_.shown[0].text, "User ID not found.  Register as a new user?");
    EXPECT_EQ(messages_.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(modals_.opened.empty());
    EXPECT_FALSE(login_->LoginAccepted);
    EXPECT_EQ(login_->txtUserID->text(), "newbie");
    EXPECT_EQ(login_->focusWidget(), login_->txtUserID);
    EXPECT_EQ(SqlValue("SELECT count(*) FROM UserData").toInt(), 0);
}

TEST_F(LoginTest, UnknownIdWhoseQuestionnaireIsCancelledIsNotAccepted)
{
    messages_.answers = {QMessageBox::Yes};
    modals_.On("frmNewUser", [](QDialog& dialog) { dynamic_cast<ui::frmNewUser&>(dialog).cmdCancel_Click(); });
    PressOk("newbie");
    EXPECT_EQ(modals_.opened, std::vector<QString>{"frmNewUser"});
    EXPECT_FALSE(login_->LoginAccepted);
    EXPECT_TRUE(login_->isVisible());
    EXPECT_EQ(login_->focusWidget(), login_->txtUserID);
    EXPECT_EQ(SqlValue("SELECT count(*) FROM UserData").toInt(), 0);
}

TEST_F(LoginTest, UnknownIdRegisteredWithReplayChosenContinuesAsExperiment)
{
    login_->Replay->setChecked(true);
    participant_.TrialNum = 9;
    messages_.answers = {QMessageBox::Yes};
    QString idShown;
    AnswerQuestionnaire(&idShown);
    PressOk("newbie");
    EXPECT_EQ(idShown, "newbie");
    EXPECT_TRUE(login_->LoginAccepted);
    EXPECT_FALSE(login_->isVisible());
    EXPECT_EQ(participant_.UserID, "newbie");
    EXPECT_FALSE(participant_.ReplayMode);
    EXPECT_FALSE(participant_.TrainingMode);
    EXPECT_EQ(participant_.TrialNum, 0);
    EXPECT_EQ(SqlValue("SELECT TrialNum FROM UserData WHERE UserID = 'newbie'").toString(), "0");
}

struct ModeCase {
    const char* button;
    bool replay;
    bool training;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.button; }

class KnownParticipantTest : public LoginTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(KnownParticipantTest, IsAcceptedWithTheTrialCountAndTheModeChosen)
{
    AddParticipant("ann", "4");
    login_->findChild<QRadioButton*>(GetParam().button)->setChecked(true);
    PressOk("ann");
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(login_->LoginAccepted);
    EXPECT_FALSE(login_->isVisible());
    EXPECT_EQ(participant_.UserID, "ann");
    EXPECT_EQ(participant_.TrialNum, 4);
    EXPECT_EQ(participant_.ReplayMode, GetParam().replay);
    EXPECT_EQ(participant_.TrainingMode, GetParam().training);
}

INSTANTIATE_TEST_SUITE_P(EachMode, KnownParticipantTest,
                         ::testing::Values(ModeCase{"Experiment", false, false}, ModeCase{"Training", false, true},
                                           ModeCase{"Replay", true, false}),
                         [](const auto& info) { return std::string(info.param.button); });

TEST_F(LoginTest, AMissingDatabaseIsNamedAndTheWindowStaysOpen)
{
    std::filesystem::remove(dbPath_);
    PressOk("ann");
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].icon, QMessageBox::Critical);
    EXPECT_NE(messages_.shown[0].text.indexOf(QString::fromStdString(dbPath_)), -1)
        << messages_.shown[0].text.toStdString();
    EXPECT_FALSE(login_->LoginAccepted);
    EXPECT_TRUE(login_->isVisible());
    EXPECT_FALSE(std::filesystem::exists(dbPath_)) << "the login never creates the database";
}

TEST_F(LoginTest, ATrialCountThatIsNoNumberIsReportedWithTableColumnAndRow)
{
    AddParticipant("ann", "four");
    PressOk("ann");
    ASSERT_EQ(messages_.shown.size(), 1u);
    const QString text = messages_.shown[0].text;
    for (const char* part : {"UserData", "TrialNum", "\"ann\"", "\"four\""})
        EXPECT_NE(text.indexOf(part), -1) << part << " missing in: " << text.toStdString();
    EXPECT_NE(text.indexOf(QString::fromStdString(dbPath_)), -1);
    EXPECT_FALSE(login_->LoginAccepted);
}

TEST_F(LoginTest, CancelRefusesTheLogin)
{
    Click(login_->cmdCancel);
    EXPECT_FALSE(login_->LoginAccepted);
    EXPECT_FALSE(login_->isVisible());
    EXPECT_EQ(login_->result(), QDialog::Rejected);
}

}  // namespace
}  // namespace kestu::uitest
