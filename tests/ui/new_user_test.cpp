// The questionnaire: its lists, its checks in their order, and the row it stores.
#include "ui/frm_new_user.h"
#include "ui/questionnaire_lists.h"
#include "ui_fixture.h"

namespace kestu::uitest {
namespace {

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
        form_->FName->setText("Zoe");
        form_->LName->setText("Park");
        form_->Age->setText("20");
    }

    int Rows() { return SqlValue("SELECT count(*) FROM UserData").toInt(); }

    std::unique_ptr<ExperimentDb> db_;
    std::unique_ptr<ui::frmNewUser> form_;
};

// The lists open with nothing chosen; then one answer put right after another:
// each press shows only the first check that fails, and nothing is stored
// until all pass.
TEST_F(NewUserTest, TheChecksInTheirOrderAndTheRowStoredAsTyped)
{
    for (const QComboBox* list : {form_->Class, form_->Major, form_->Sex}) EXPECT_EQ(list->currentIndex(), -1) << Name(list);
    participant_.TrialNum = 7;
    participant_.ReplayMode = true;
    std::size_t shown = 0;
    auto refused = [&](const QString& text, const std::string& step) {
        form_->cmdOK_Click();
        ASSERT_EQ(messages_.shown.size(), ++shown) << step;
        const ShownMessage& m = messages_.shown.back();
        EXPECT_TRUE(m.text == text && m.title == "New User Questionaire" && m.icon == QMessageBox::Warning)
            << step << ": " << m.text.toStdString();
        EXPECT_FALSE(form_->Registered) << step;
        EXPECT_EQ(Rows(), 0) << step;
    };
    // Every answer is missing; only the name message is shown, before the defaults.
    form_->FName->setText("   ");
    form_->Age->setText("");
    refused("The name fields can not be left blank.", "first name blank");
    EXPECT_TRUE(form_->Class->currentText().isEmpty()) << "the defaults come after the name check";
    form_->FName->setText(" Zoe ");
    form_->LName->setText("");
    refused("The name fields can not be left blank.", "last name empty");

    form_->LName->setText("Park");
    form_->Major->setCurrentText("Physics");
    refused("Please select a Sex.", "no sex");
    EXPECT_EQ(form_->Class->currentText(), "Other");
    EXPECT_EQ(form_->Major->currentText(), "Physics");
    form_->Major->setCurrentIndex(-1);
    refused("Please select a Sex.", "no sex, no major");
    EXPECT_EQ(form_->Major->currentText(), "Other");

    form_->Major->setCurrentText("Physics");
    form_->Sex->setCurrentText("Female");
    for (const char* age : {"", "4", "abc", "4.9", " -20"}) {
        form_->Age->setText(age);
        refused("Please enter your age.", std::string("age ") + age);
    }

    form_->Age->setText("5 years");
    form_->cmdOK_Click();
    EXPECT_EQ(messages_.shown.size(), shown);
    EXPECT_TRUE(form_->Registered);
    EXPECT_EQ(form_->result(), QDialog::Accepted);
    EXPECT_EQ(participant_.TrialNum, 0);
    EXPECT_FALSE(participant_.ReplayMode);
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(SqlValue("SELECT UserID || '|' || FirstName || '|' || LastName || '|' || SchoolYear || '|' || Major || "
                       "'|' || Sex || '|' || Age || '|' || TrialNum FROM UserData")
                  .toString(),
              "zoe| Zoe |Park|Other|Physics|Female|5 years|0");
}

TEST_F(NewUserTest, CancelClosingAndAFailedStoreLeaveTheParticipantUnregistered)
{
    form_->Sex->setCurrentText("Female");
    form_->cmdCancel_Click();
    EXPECT_FALSE(form_->Registered);
    form_->show();
    form_->close();
    EXPECT_FALSE(form_->Registered);
    EXPECT_TRUE(messages_.shown.empty());

    Open(OpenMode::ReadOnly);
    form_->Sex->setCurrentText("Female");
    form_->cmdOK_Click();
    ExpectOneMessageWith({DbPathText()}, QMessageBox::Critical);
    EXPECT_EQ(messages_.shown.at(0).title, "New User Questionaire");
    EXPECT_FALSE(form_->Registered);
    EXPECT_NE(form_->result(), QDialog::Accepted);
    EXPECT_EQ(Rows(), 0);
}

TEST(LeadingNumberTest, ReadsTheNumberATextStartsWith)
{
    const std::pair<const char*, double> cases[] = {{"20", 20},  {"  7.5 years", 7.5}, {".5", 0.5},       {"-3", -3},
                                                    {"abc", 0}, {"", 0},              {"twenty 20", 0}};
    for (const auto& [text, number] : cases) EXPECT_EQ(ui::LeadingNumber(text), number) << '"' << text << '"';
}

}  // namespace
}  // namespace kestu::uitest
