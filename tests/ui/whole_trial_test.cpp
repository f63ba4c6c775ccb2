// A participant's whole road through the windows: register at the login,
// choose the fastest speed, run an Experiment trial to its end with a few
// clicks, then replay it in a second run of the program.
#include "ui_fixture.h"
#include "ui/frm_login.h"
#include "ui/frm_new_user.h"
#include "ui/frm_sim_options.h"

namespace kestu::uitest {
namespace {

using WholeTrialTest = SimWindowTest;

TEST_F(WholeTrialTest, AnExperimentTrialIsRecordedAndReplaysToTheSameScore)
{
    modals_.on["frmNewUser"] = [](QDialog& dialog) {
        auto& form = dynamic_cast<ui::frmNewUser&>(dialog);
        form.FName->setText("Kim");
        form.LName->setText("Berg");
        form.Sex->setCurrentText("Male");
        form.Age->setText("24");
        form.cmdOK_Click();
    };
    messages_.answers = {QMessageBox::Yes};
    {
        ui::frmLogin login(participant_, dbPath_);
        login.txtUserID->setText("kim");
        login.cmdOK_Click();
        ASSERT_TRUE(login.LoginAccepted);
    }
    messages_.shown.clear();
    ASSERT_TRUE(Open());
    {
        ui::frmSimOptions options(participant_, W(), &W());
        options.HScroll1->setValue(125);
        EXPECT_EQ(Texts({options.lblSimLength, W().lblSimLength}), QStringList(2, "1 Minute Simulation"));
        options.cmdContinue_Click();
    }
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    ASSERT_TRUE(W().Simulator.isActive());
    RunTicks({{3, 0}, {4, 2}, {10, 14}, {30, 0}, {45, 28}, {80, 2}, {120, 40}});

    EXPECT_TRUE(messages_.shown.empty()) << messages_.shown.front().text.toStdString();
    EXPECT_FALSE(W().Simulator.isActive());
    EXPECT_EQ(W().SimTime->text(), "08:00");
    EXPECT_TRUE(Shown(W().cmdSetup) && Shown(W().cmdSimulate) && Shown(W().cmdDetailFB));
    EXPECT_FALSE(W().cmdSimulate->isEnabled());
    EXPECT_EQ(W().cmdSimulate->text(), "Start Simul&ation");
    for (QPushButton* button : W().Switch) EXPECT_FALSE(button->isEnabled());

    // The database: the trial's row, complete, and the participant's count.
    EXPECT_EQ(SqlValue("SELECT count(*) FROM Experiments").toInt(), 1);
    EXPECT_EQ(SqlValue("SELECT UserID || ' ' || Experiment || ' ' || SimRate || ' ' || Scenario FROM Experiments")
                  .toString(), "kim 1 1.0 Standard");
    EXPECT_EQ(SqlValue("SELECT count(*) FROM Experiments WHERE StartTime GLOB '[0-9][0-9]:[0-9][0-9]:[0-9][0-9]' AND "
                       "EndTime GLOB '[0-9][0-9]:[0-9][0-9]:[0-9][0-9]' AND "
                       "Date GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]'").toInt(), 1) << "ISO times and date";
    const QString missed = W().TotalMissedBuckets->text();
    EXPECT_EQ(SqlValue("SELECT MissedBuckets FROM Experiments").toDouble(), missed.toDouble());
    EXPECT_NEAR(SqlValue("SELECT BusyTime + SweepTime + IdleTime FROM Experiments").toDouble(), 1.0, 1e-12);
    EXPECT_EQ(SqlValue("SELECT TrialNum FROM UserData WHERE UserID = 'kim'").toString(), "1");

    // The log: the clicks, closed by STOP at the end time.
    const auto headers = LogHeaders(FilePath("kim.1"));
    ASSERT_GE(headers.size(), 2u);
    EXPECT_EQ(headers.front(), "0,3,\"ON\",0");
    EXPECT_EQ(headers.back(), "8,0,\"STOP\",0");

    // Detail feedback shows each judged tank's figure; a second click hides them again.
    Click(W().cmdDetailFB);
    for (QLabel* label : W().MissedFB) EXPECT_TRUE(Shown(label)) << Name(label);
    ASSERT_TRUE(S().missed.PerTank[22].has_value());
    EXPECT_EQ(W().MissedFB[22]->text(), QString::number(*S().missed.PerTank[22]));
    Click(W().cmdDetailFB);
    for (QLabel* label : W().MissedFB) EXPECT_FALSE(Shown(label)) << Name(label);

    // The next trial is number 2; the window is closed before it starts.
    Click(W().cmdSetup);
    EXPECT_EQ(W().TrialNum->text(), "2");

    // A second run of the program replays trial 1.
    window_.reset();
    participant_ = {.UserID = "kim", .TrialNum = 1, .ReplayMode = true};
    ASSERT_TRUE(Open());
    ASSERT_EQ(W().ReplayList->count(), 1);
    W().ReplayList->setCurrentIndex(0);
    emit W().ReplayList->activated(0);
    EXPECT_EQ(W().TrialNum->text(), "1");
    EXPECT_TRUE(W().PlayButton->isEnabled() && W().StopButton->isEnabled());
    W().HScroll1->setValue(125);
    Click(W().PlayButton);
    EXPECT_TRUE(W().Simulator.isActive());
    EXPECT_EQ(W().Simulator.interval(), 125);
    EXPECT_TRUE(!Shown(W().PlayButton) && Shown(W().PauseButton));
    RunTicks();
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(W().TotalMissedBuckets->text(), missed);
    EXPECT_EQ(W().SimTime->text(), "08:00");
    EXPECT_EQ(SqlValue("SELECT count(*) FROM Experiments").toInt(), 1) << "a replay records nothing";
    EXPECT_EQ(LogHeaders(FilePath("kim.1")).back(), "8,0,\"STOP\",0");
}

}  // namespace
}  // namespace kestu::uitest
