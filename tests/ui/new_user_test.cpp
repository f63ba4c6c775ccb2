// The questionnaire: its lists, its checks in their order, and the row it stores.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "data/experiment_db.h"
#include "ui/frm_new_user.h"
#include "ui/questionnaire_lists.h"
#include "ui_fixture.h"

namespace kestu::uitest {
namespace {

QStringList Entries(const QComboBox* list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
    return entries;
}

class NewUserTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        Open(OpenMode::ReadWrite);
    }

    void Open(OpenMode mode)
    {
        form_.reset();
        auto opened = ExperimentDb::Open(dbPath_, mode);
        ASSERT_TRUE(opened.ok()) << opened.error();
        db_ = std::move(opened).value();
        form_ = std::make_unique<ui::frmNewUser>(participant_, *db_);
        form_->ID->setText("zoe");
    }

    // Every answer valid; each test spoils the one it is about.
    void FillValid()
    {
        form_->FName->setText("Zoe");
        form_->LName->setText("Park");
        form_->Class->setCurrentText("Junior");
        form_->Major->setCurrentText("Physics");
        form_->Sex->setCurrentText("Female");
        form_->Age->setText("20");
    }

    int Rows() { return SqlValue("SELECT count(*) FROM UserData").toInt(); }
    QString LastMessage() const { return messages_.shown.empty() ? QString() : messages_.shown.back().text; }

    std::unique_ptr<ExperimentDb> db_;
    std::unique_ptr<ui::frmNewUser> form_;
};

TEST_F(NewUserTest, ListsAreFilledInOrderWithNothingChosen)
{
    EXPECT_EQ(form_->windowTitle(), "New User Questionaire");
    EXPECT_EQ(Entries(form_->Class),
              QStringList({"Freshmen", "Sophomore", "Junior", "Senior", "Graduate", "Other"}));
    EXPECT_EQ(Entries(form_->Sex), QStringList({"Male", "Female"}));
    const QStringList majors = Entries(form_->Major);
    ASSERT_EQ(majors.size(), 26);
    EXPECT_EQ(majors.back(), "Other");
    EXPECT_EQ(QSet<QString>(majors.begin(), majors.end()).size(), 26) << "no major twice";
    for (const QComboBox* list : {form_->Class, form_->Major, form_->Sex}) {
        EXPECT_EQ(list->currentIndex(), -1) << list->objectName().toStdString();
        EXPECT_TRUE(list->currentText().isEmpty());
    }
    EXPECT_FALSE(form_->Registered);
}

TEST_F(NewUserTest, BlankNamesComeFirstAndStoreNothing)
{
    // Every other answer is wrong too; only the name message is shown.
    form_->FName->setText("   ");
    form_->LName->setText("Park");
    form_->cmdOK_Click();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, "The name fields can not be left blank.");
    EXPECT_EQ(messages_.shown[0].title, "New User Questionaire");
    EXPECT_EQ(messages_.shown[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(form_->Class->currentText().isEmpty()) << "the defaults come after the name check";
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(form_->Registered);

    form_->FName->setText("Zoe");
    form_->LName->setText("");
    form_->cmdOK_Click();
    EXPECT_EQ(LastMessage(), "The name fields can not be left blank.");
}

TEST_F(NewUserTest, AMissingSexIsAskedForAfterClassAndMajorDefaultToOther)
{
    FillValid();
    form_->Class->setCurrentIndex(-1);
    form_->Major->setCurrentIndex(-1);
    form_->Sex->setCurrentIndex(-1);
    form_->Age->setText("");
    form_->cmdOK_Click();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, "Please select a Sex.");
    EXPECT_EQ(form_->Class->currentText(), "Other");
    EXPECT_EQ(form_->Major->currentText(), "Other");
    EXPECT_EQ(Rows(), 0);
}

TEST_F(NewUserTest, AnAgeBelowFiveIsAskedForAgain)
{
    FillValid();
    for (const char* age : {"4", "", "abc", "4.9", " -20"}) {
        form_->Age->setText(age);
        form_->cmdOK_Click();
        EXPECT_EQ(LastMessage(), "Please enter your age.") << "age \"" << age << "\"";
    }
    EXPECT_EQ(messages_.shown.size(), 5u);
    EXPECT_EQ(Rows(), 0);
    form_->Age->setText("5");
    form_->cmdOK_Click();
    EXPECT_TRUE(form_->Registered);
    EXPECT_EQ(SqlValue("SELECT Age FROM UserData").toString(), "5");
}

TEST_F(NewUserTest, TheRowIsStoredAsTypedAndTheNewParticipantStartsAtTrialZero)
{
    participant_.TrialNum = 7;
    participant_.ReplayMode = true;
    FillValid();
    form_->FName->setText(" Zoe ");
    form_->Age->setText("20 years");
    form_->Class->setCurrentIndex(-1);  // defaults to "Other"
    form_->cmdOK_Click();
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(form_->Registered);
    EXPECT_EQ(form_->result(), QDialog::Accepted);
    EXPECT_EQ(participant_.TrialNum, 0);
    EXPECT_FALSE(participant_.ReplayMode);

    auto found = db_->FindParticipant("zoe");
    ASSERT_TRUE(found.ok()) << found.error();
    ASSERT_TRUE(found.value().has_value());
    const Participant& row = *found.value();
    EXPECT_EQ(row.FirstName, " Zoe ");
    EXPECT_EQ(row.LastName, "Park");
    EXPECT_EQ(row.SchoolYear, "Other");
    EXPECT_EQ(row.Major, "Physics");
    EXPECT_EQ(row.Sex, "Female");
    EXPECT_EQ(row.Age, "20 years");
    EXPECT_EQ(row.TrialNum, "0");
    EXPECT_EQ(Rows(), 1);
}

TEST_F(NewUserTest, AFailedStoreIsReportedAndLeavesTheParticipantUnregistered)
{
    Open(OpenMode::ReadOnly);
    FillValid();
    form_->cmdOK_Click();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages_.shown[0].title, "New User Questionaire");
    EXPECT_NE(messages_.shown[0].text.indexOf(QString::fromStdString(dbPath_)), -1)
        << messages_.shown[0].text.toStdString();
    EXPECT_FALSE(form_->Registered);
    EXPECT_NE(form_->result(), QDialog::Accepted);
    EXPECT_EQ(Rows(), 0);
}

TEST_F(NewUserTest, CancelAndClosingStoreNothing)
{
    FillValid();
    form_->cmdCancel_Click();
    EXPECT_FALSE(form_->Registered);
    EXPECT_EQ(Rows(), 0);

    form_->show();
    form_->close();
    EXPECT_FALSE(form_->Registered);
    EXPECT_EQ(Rows(), 0);
}

TEST(LeadingNumberTest, ReadsTheNumberATextStartsWith)
{
    EXPECT_EQ(ui::LeadingNumber("20"), 20);
    EXPECT_EQ(ui::LeadingNumber("  7.5 years"), 7.5);
    EXPECT_EQ(ui::LeadingNumber(".5"), 0.5);
    EXPECT_EQ(ui::LeadingNumber("-3"), -3);
    EXPECT_EQ(ui::LeadingNumber("abc"), 0);
    EXPECT_EQ(ui::LeadingNumber(""), 0);
    EXPECT_EQ(ui::LeadingNumber("twenty 20"), 0);
}

}  // namespace
}  // namespace kestu::uitest
