// A participant's whole road through the windows: register at the login,
// choose the fastest speed, run an Experiment trial to its end with a few
// clicks, then replay it in a second run of the program.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>

#include <filesystem>
#include <map>

#include "ui_fixture.h"
#include "ui/frm_login.h"
#include "ui/frm_new_user.h"
#include "ui/frm_sim_options.h"

namespace kestu::uitest {
namespace {

class WholeTrialTest : public SimWindowTest {
protected:
    void Register(const QString& userId)
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
        ui::frmLogin login(participant_, dbPath_);
        login.txtUserID->setText(userId);
        login.cmdOK_Click();
        ASSERT_TRUE(login.LoginAccepted);
        messages_.shown.clear();
    }

    // Ticks until the trial ends, clicking switches at some of them.
    void RunWithClicks()
    {
        const std::map<int, int> clicks = {{3, 0}, {4, 2}, {10, 14}, {30, 0}, {45, 28}, {80, 2}, {120, 40}};
        int tick = 0;
        while (S().engine.TimerRunning() && tick < 5000) {
            if (const auto click = clicks.find(tick); click != clicks.end()) Click(W().Switch[click->second]);
            W().Simulator_Timer();
            ++tick;
        }
        ASSERT_FALSE(S().engine.TimerRunning()) << "the trial did not end";
    }
};

TEST_F(WholeTrialTest, AnExperimentTrialIsRecordedAndReplaysToTheSameScore)
{
    Register("kim");
    ASSERT_TRUE(Open());
    {
        ui::frmSimOptions options(participant_, W(), &W());
        options.HScroll1->setValue(125);
        options.cmdContinue_Click();
    }
    Click(W().cmdSetup);
    EXPECT_EQ(W().TrialNum->text(), "1");
    Click(W().cmdSimulate);
    ASSERT_TRUE(W().Simulator.isActive());
    RunWithClicks();

    EXPECT_TRUE(messages_.shown.empty()) << messages_.shown.front().text.toStdString();
    EXPECT_FALSE(W().Simulator.isActive());
    EXPECT_EQ(W().SimTime->text(), "08:00");
    EXPECT_TRUE(Shown(W().cmdSetup));
    EXPECT_TRUE(Shown(W().cmdSimulate));
    EXPECT_FALSE(W().cmdSimulate->isEnabled());
    EXPECT_EQ(W().cmdSimulate->text(), "Start Simul&ation");
    EXPECT_TRUE(Shown(W().cmdDetailFB));
    for (QPushButton* button : W().Switch) EXPECT_FALSE(button->isEnabled());

    // The database: the trial's row, complete, and the participant's count.
    EXPECT_EQ(SqlValue("SELECT count(*) FROM Experiments").toInt(), 1);
    EXPECT_EQ(SqlValue("SELECT Experiment FROM Experiments WHERE UserID = 'kim'").toInt(), 1);
    EXPECT_EQ(SqlValue("SELECT UserID FROM Experiments").toString(), "kim");
    EXPECT_EQ(SqlValue("SELECT SimRate FROM Experiments").toDouble(), 1.0);
    EXPECT_EQ(SqlValue("SELECT Scenario FROM Experiments").toString(), "Standard");
    const QRegularExpression isoTime("^\\d\\d:\\d\\d:\\d\\d$");
    EXPECT_TRUE(isoTime.match(SqlValue("SELECT StartTime FROM Experiments").toString()).hasMatch());
    EXPECT_TRUE(isoTime.match(SqlValue("SELECT EndTime FROM Experiments").toString()).hasMatch());
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d$")
                    .match(SqlValue("SELECT Date FROM Experiments").toString())
                    .hasMatch());
    const QString missed = W().TotalMissedBuckets->text();
    EXPECT_EQ(SqlValue("SELECT MissedBuckets FROM Experiments").toDouble(), missed.toDouble());
    EXPECT_NEAR(SqlValue("SELECT BusyTime + SweepTime + IdleTime FROM Experiments").toDouble(), 1.0, 1e-12);
    EXPECT_GT(SqlValue("SELECT BusyTime FROM Experiments").toDouble(), 0.0) << "the clicks pumped water";
    EXPECT_EQ(SqlValue("SELECT TrialNum FROM UserData WHERE UserID = 'kim'").toString(), "1");

    // The log: the clicks, closed by STOP at the end time.
    const auto headers = LogHeaders(FilePath("kim.1"));
    ASSERT_GE(headers.size(), 2u);
    EXPECT_EQ(headers.back(), "8,0,\"STOP\",0");
    EXPECT_EQ(headers.front(), "0,3,\"ON\",0");

    // Detail feedback shows each judged tank's figure.
    Click(W().cmdDetailFB);
    EXPECT_TRUE(Shown(W().MissedFB[22]));
    ASSERT_TRUE(S().missed.PerTank[22].has_value());
    EXPECT_EQ(W().MissedFB[22]->text(), QString::number(*S().missed.PerTank[22]));

    // The next trial is number 2, with a log of its own.
    Click(W().cmdSetup);
    EXPECT_EQ(W().TrialNum->text(), "2");
    EXPECT_TRUE(std::filesystem::exists(FilePath("kim.2")));
    Click(W().cmdSimulate);
    RunWithClicks();
    EXPECT_EQ(SqlValue("SELECT TrialNum FROM UserData WHERE UserID = 'kim'").toString(), "2");
    EXPECT_EQ(SqlValue("SELECT count(*) FROM Experiments WHERE EndTime IS NOT NULL").toInt(), 2);
    window_.reset();

    // A second run of the program replays trial 1.
    participant_ = ParticipantState{};
    participant_.UserID = "kim";
    participant_.TrialNum = 1;
    participant_.ReplayMode = true;
    ASSERT_TRUE(Open());
    ASSERT_EQ(W().ReplayList->count(), 1);
    W().ReplayList->setCurrentIndex(0);
    emit W().ReplayList->activated(0);
    EXPECT_EQ(W().TrialNum->text(), "1");
    EXPECT_TRUE(W().PlayButton->isEnabled());
    EXPECT_TRUE(W().StopButton->isEnabled());
    W().HScroll1->setValue(125);
    Click(W().PlayButton);
    EXPECT_TRUE(W().Simulator.isActive());
    EXPECT_EQ(W().Simulator.interval(), 125);
    EXPECT_FALSE(Shown(W().PlayButton));
    EXPECT_TRUE(Shown(W().PauseButton));
    RunTicks();
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(W().TotalMissedBuckets->text(), missed);
    EXPECT_EQ(W().SimTime->text(), "08:00");
    EXPECT_EQ(SqlValue("SELECT count(*) FROM Experiments").toInt(), 2) << "a replay records nothing";
    EXPECT_EQ(LogHeaders(FilePath("kim.1")).back(), "8,0,\"STOP\",0");
}

}  // namespace
}  // namespace kestu::uitest
