// The options dialog: speed captions, and its choices mirrored into the
// simulation window and the participant's state.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "sim_window_fixture.h"
#include "ui/frm_sim_options.h"

namespace kestu::uitest {
namespace {

class SimOptionsTest : public SimWindowTest {
protected:
    void SetUp() override
    {
        SimWindowTest::SetUp();
        AddParticipant("ann", "0");
        participant_.UserID = "ann";
        ASSERT_TRUE(Open());
        options_ = std::make_unique<ui::frmSimOptions>(participant_, W(), &W());
    }
    void TearDown() override
    {
        options_.reset();
        SimWindowTest::TearDown();
    }

    std::unique_ptr<ui::frmSimOptions> options_;
};

TEST_F(SimOptionsTest, ContinueWithoutChangesKeepsTheStartValues)
{
    options_->show();
    Click(options_->Command1);
    EXPECT_FALSE(options_->isVisible());
    EXPECT_FALSE(participant_.FeedforwardOn);
    EXPECT_EQ(participant_.SimRate, 0);
    EXPECT_FALSE(Shown(W().FFButton));
    EXPECT_EQ(W().HScroll1->value(), 1937);
    Click(W().cmdSetup);
    EXPECT_EQ(S().timerInterval, 1937) << "the trial runs at the window's own speed";
}

struct SpeedCase {
    int value;
    const char* caption;
};
void PrintTo(const SpeedCase& c, std::ostream* os) { *os << c.value << " ms"; }

class SpeedCaptionTest : public SimOptionsTest, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(SpeedCaptionTest, ShowsTheMinutesAndMirrorsTheSpeed)
{
    options_->HScroll1->setValue(GetParam().value == 2000 ? 1000 : 2000);  // so that the next value is a change
    options_->HScroll1->setValue(GetParam().value);
    EXPECT_EQ(options_->Label5->text(), GetParam().caption);
    EXPECT_EQ(W().Label5->text(), GetParam().caption);
    EXPECT_EQ(W().HScroll1->value(), GetParam().value);
    EXPECT_EQ(participant_.SimRate, GetParam().value);
    EXPECT_EQ(S().speedValue, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Speeds, SpeedCaptionTest,
                         ::testing::Values(SpeedCase{125, "1 Minute Simulation"}, SpeedCase{1875, "15 Minute Simulation"},
                                           SpeedCase{1937, "15 Minute Simulation"}, SpeedCase{2000, "16 Minute Simulation"},
                                           SpeedCase{3750, "30 Minute Simulation"}),
                         [](const auto& info) { return std::to_string(info.param.value); });

TEST_F(SimOptionsTest, TheChosenSpeedDrivesTheTrialTimer)
{
    options_->HScroll1->setValue(125);
    Click(W().cmdSetup);
    Click(W().cmdSimulate);
    EXPECT_EQ(W().Simulator.interval(), 125);
    EXPECT_EQ(SqlValue("SELECT SimRate FROM Experiments").toDouble(), 1.0);
}

TEST_F(SimOptionsTest, FeedforwardShowsAndHidesTheWindowsButtonEachTime)
{
    options_->show();
    const QPoint box(8, options_->Check1->height() / 2);
    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(options_->Check1, Qt::LeftButton, {}, box);
        EXPECT_TRUE(participant_.FeedforwardOn);
        EXPECT_TRUE(Shown(W().FFButton));
        QTest::mouseClick(options_->Check1, Qt::LeftButton, {}, box);
        EXPECT_FALSE(participant_.FeedforwardOn);
        EXPECT_FALSE(Shown(W().FFButton));
    }
}

TEST_F(SimOptionsTest, TheOfferedButtonSurvivesTheSetupAndIsUsable)
{
    options_->Check1->setChecked(true);
    Click(options_->Command1);
    Click(W().cmdSetup);
    EXPECT_TRUE(Shown(W().FFButton));
    EXPECT_TRUE(W().FFButton->isEnabled());
}

TEST_F(SimOptionsTest, ClosingFromTheTitleBarEndsTheDialogLikeContinue)
{
    options_->show();
    options_->HScroll1->setValue(3750);
    options_->close();
    EXPECT_FALSE(options_->isVisible());
    EXPECT_EQ(participant_.SimRate, 3750);
    EXPECT_EQ(W().HScroll1->value(), 3750);
}

}  // namespace
}  // namespace kestu::uitest
