// The replay console as the experimenter uses it: a replay ends with the
// trial's own figures, a log that cannot be read leaves nothing of the last
// replay on show, a replay writes nothing, and a window closed on a
// deadline's second replays to the total the participant saw.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <map>

#include "trials/file_sink.h"
#include "ui/replay_timeline.h"
#include "ui_fixture.h"

namespace kestu::uitest {
namespace {

// Every file of the study folder with its bytes.
std::map<std::string, std::string> FolderBytes(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const QString& name : QDir(QString::fromStdString(folder)).entryList(QDir::Files)) {
        const std::string path = folder + "/" + name.toStdString();
        const auto bytes = ReadWholeFile(path);
        files[name.toStdString()] = bytes ? bytes.value() : std::string("unreadable");
    }
    return files;
}

class ReplayConsoleTest : public SimWindowTest {
protected:
    QStringList Figures()
    {
        QStringList figures;
        for (QLabel* label : W().MissedFB) figures << label->text();
        return figures;
    }
    // Opens the replay window on trial `trial` of "ann", who has run five.
    void OpenReplayOf(int trial)
    {
        window_.reset();
        participant_ = {.UserID = "ann", .TrialNum = 5, .ReplayMode = true};
        ASSERT_TRUE(Open());
        Choose(trial);
    }
    // The window shows the session's plant: lamps, clock, counters.
    void ExpectShowsThePlant(const char* after)
    {
        SCOPED_TRACE(after);
        for (int s = 0; s < SwitchCount; ++s) EXPECT_EQ(W().plantModel().Lamp(s), S().plant().Status[s]) << s;
        const ClockTime clock = S().plant().Clock;
        EXPECT_EQ(W().SimTime->text(), QString::asprintf("%02d:%02d", clock.Minutes, clock.Seconds));
        EXPECT_EQ(W().TotalMissedBuckets->text(), QString::number(S().missed.Total));
        EXPECT_EQ(W().PumpsInUse->text(), QString::number(S().plant().PumpsInUseShown));
        EXPECT_EQ(W().Timeline->Cursor(), S().ticksLived);
    }
    void Choose(int trial)
    {
        W().ReplayList->setCurrentIndex(trial - 1);
        emit W().ReplayList->activated(trial - 1);
    }
};

TEST_F(ReplayConsoleTest, AReplayEndsWithTheTrialsFiguresAndLeavesTheStudyAsItWas)
{
    participant_.FeedforwardOn = true;
    StartTrial();
    const std::map<int, QWidget*> presses = {{3, W().Switch[0]},   {10, W().FFButton}, {12, W().Switch[14]},
                                             {20, W().Switch[2]},  {30, W().FFButton}, {31, W().Switch[40]}};
    for (int tick = 0; S().Ticking() && tick < 5000; ++tick) {
        if (const auto press = presses.find(tick); press != presses.end()) Click(press->second);
        W().Simulator_Timer();
    }
    ASSERT_FALSE(S().Ticking());
    ASSERT_TRUE(messages_.shown.empty()) << messages_.shown.front().text.toStdString();
    Click(W().cmdDetailFB);
    const QStringList figures = Figures();
    const QString total = W().TotalMissedBuckets->text();
    window_.reset();
    ASSERT_TRUE(ReadWholeFile(FilePath("ann.DAT")).ok()) << "the trial saved a snapshot";
    // The participant's snapshot file holds another trial's by now.
    ASSERT_TRUE(ReplaceFile(FilePath("ann.DAT"), "a later trial's snapshot\r\n").ok());
    const auto before = FolderBytes(folder_);

    OpenReplayOf(5);
    EXPECT_FALSE(Shown(W().cmdDetailFB));
    Click(W().PlayButton);
    RunTicks();
    EXPECT_EQ(W().TotalMissedBuckets->text(), total);
    EXPECT_TRUE(Shown(W().cmdDetailFB)) << "the replay offers the per-tank figures at its end";
    EXPECT_FALSE(Shown(W().cmdSetup) || Shown(W().cmdSimulate));
    Click(W().cmdDetailFB);
    EXPECT_EQ(Figures(), figures);
    for (QLabel* label : W().MissedFB) EXPECT_TRUE(Shown(label)) << Name(label);
    Click(W().StopButton);  // loaded again, ready to play
    EXPECT_FALSE(Shown(W().cmdDetailFB));
    EXPECT_TRUE(W().PlayButton->isEnabled());
    window_.reset();
    EXPECT_EQ(participant_.TrialNum, 5);
    EXPECT_TRUE(FolderBytes(folder_) == before) << "a replay wrote into the study folder";
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(ReplayConsoleTest, ALogThatCannotBeOpenedLeavesAnIdleConsoleAndNamesTheFile)
{
    StartTrial();
    RunTicks({{2, 0}, {3, 2}, {5, 4}});
    window_.reset();
    participant_ = {.UserID = "ann", .TrialNum = 5, .ReplayMode = true};
    ASSERT_TRUE(Open());
    const ui::PlantModel fresh = W().plantModel();  // a window with no replay loaded
    QStringList noDeadlines;
    for (QLabel* deadline : W().TankDL) noDeadlines << deadline->text();
    Choose(5);
    Click(W().PlayButton);
    for (int k = 0; k < 40; ++k) W().Simulator_Timer();
    Click(W().PauseButton);
    ASSERT_NE(W().SimTime->text(), "00:00");
    ASSERT_NE(W().plantModel().Lamp(0), SwitchStatus::Off);

    Choose(3);  // ann.3 was never written
    ExpectOneMessageWith({QStringLiteral("Trial 3 cannot be replayed"), QString::fromStdString(FilePath("ann.3"))});
    EXPECT_EQ(W().SimTime->text(), "00:00");
    EXPECT_EQ(W().TrialNum->text(), "-");
    EXPECT_EQ(W().TotalMissedBuckets->text(), "0");
    EXPECT_EQ(W().PumpsInUse->text(), "0");
    for (int s = 0; s < SwitchCount; ++s) EXPECT_EQ(W().plantModel().Lamp(s), SwitchStatus::Off) << s;
    for (int t = 0; t < TankCount; ++t) {
        const ui::TankGauge& tank = W().plantModel().Tank(t);
        EXPECT_TRUE(!tank.fillVisible && !tank.lineVisible) << "tank " << t << " is drawn empty";
        EXPECT_EQ(tank.Floor(), fresh.Tank(t).Floor()) << t;
    }
    QStringList deadlines;
    for (QLabel* deadline : W().TankDL) deadlines << deadline->text();
    EXPECT_EQ(deadlines, noDeadlines);
    EXPECT_FALSE(W().PlayButton->isEnabled() || W().StopButton->isEnabled());
    EXPECT_FALSE(W().Simulator.isActive());
}

// The window is closed while the tick that judges a deadline runs: the close
// waits for the tick's end, so the log's STOP carries the clock shown, and
// the replay books the same deadlines the participant saw booked.
TEST_F(ReplayConsoleTest, AWindowClosedOnADeadlinesSecondReplaysToTheTotalShown)
{
    StartTrial();
    ClockTime first = S().trialEnd;
    for (const auto& deadline : S().deadlinesShown)
        if (deadline && *deadline < first) first = *deadline;
    const auto windowYield = S().host.yield;
    long long before = -1;
    S().host.yield = [&](YieldPoint point) {
        windowYield(point);
        if (point == YieldPoint::AfterArrival && ClockTime{S().plant().Clock} == first) before = S().missed.Total;
        if (point == YieldPoint::AfterCheckpoint && ClockTime{S().plant().Clock} == first) W().close();
    };
    for (int tick = 0; S().Ticking() && tick < 5000; ++tick) W().Simulator_Timer();
    ASSERT_NE(before, -1) << "the first deadline's tick ran";
    const QString shown = W().TotalMissedBuckets->text();
    ASSERT_NE(shown.toLongLong(), before) << "the first deadline books buckets, so the test can tell";
    S().host.yield = windowYield;

    OpenReplayOf(5);
    Click(W().PlayButton);
    RunTicks();
    EXPECT_EQ(W().TotalMissedBuckets->text(), shown);
}

}  // namespace
}  // namespace kestu::uitest

namespace kestu::uitest {
namespace {

// The timeline and the keys: every move shows the plant, the clock and the
// counters that playing there shows, and the study is left as it was.
TEST_F(ReplayConsoleTest, TheTimelineAndTheKeysMoveTheReplayToWhatPlayingThereShows)
{
    participant_.FeedforwardOn = true;
    StartTrial();
    const std::map<int, QWidget*> presses = {{3, W().Switch[0]}, {10, W().FFButton}, {12, W().Switch[14]},
                                             {30, W().FFButton}, {31, W().Switch[40]}};
    for (int tick = 0; S().Ticking() && tick < 5000; ++tick) {
        if (const auto press = presses.find(tick); press != presses.end()) Click(press->second);
        W().Simulator_Timer();
    }
    const QString total = W().TotalMissedBuckets->text();
    window_.reset();
    const auto before = FolderBytes(folder_);

    OpenReplayOf(5);
    ASSERT_TRUE(W().isActiveWindow() || QTest::qWaitForWindowActive(&W()));
    ui::ReplayTimeline& strip = *W().Timeline;
    EXPECT_TRUE(Shown(&strip) && Shown(W().ReplaySpeed));
    ASSERT_GT(strip.Length(), 400);
    EXPECT_TRUE(strip.MarkTextAt(strip.XOf(strip.NextDecision(0).value())).contains("switch 0 of tank 0 on"));

    // Played straight to tick 200: what it shows there.
    Click(W().PlayButton);
    while (S().ticksLived < 200) W().Simulator_Timer();
    Click(W().PauseButton);
    const QStringList at200 = Texts({W().SimTime, W().TotalMissedBuckets, W().PumpsInUse});
    std::array<SwitchStatus, SwitchCount> lamps{};
    for (int s = 0; s < SwitchCount; ++s) lamps[s] = W().plantModel().Lamp(s);

    QTest::keyClick(&W(), Qt::Key_End);
    ExpectShowsThePlant("End");
    EXPECT_EQ(W().TotalMissedBuckets->text(), total);
    EXPECT_TRUE(Shown(W().cmdDetailFB) && !W().PlayButton->isEnabled());
    QTest::keyClick(&W(), Qt::Key_Home);
    ExpectShowsThePlant("Home");
    EXPECT_EQ(S().ticksLived, 0);
    EXPECT_TRUE(W().PlayButton->isEnabled() && !Shown(W().cmdDetailFB));
    QTest::keyClick(&W(), Qt::Key_PageDown);
    ExpectShowsThePlant("Page Down");
    EXPECT_EQ(S().ticksLived, strip.NextDecision(0).value());
    QTest::keyClick(&W(), Qt::Key_Right);
    QTest::keyClick(&W(), Qt::Key_Right);
    EXPECT_EQ(S().ticksLived, strip.NextDecision(0).value() + 2);
    QTest::keyClick(&W(), Qt::Key_Left);
    ExpectShowsThePlant("Left");
    EXPECT_EQ(S().ticksLived, strip.NextDecision(0).value() + 1);
    ASSERT_GE(strip.width(), strip.Length()) << "a pixel or more a tick";
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(strip.XOf(200), strip.height() / 2));
    ASSERT_EQ(S().ticksLived, 200) << "strip " << strip.width() << " px for " << strip.Length() << " ticks";
    EXPECT_EQ(Texts({W().SimTime, W().TotalMissedBuckets, W().PumpsInUse}), at200);
    for (int s = 0; s < SwitchCount; ++s) EXPECT_EQ(W().plantModel().Lamp(s), lamps[s]) << s;
    ExpectShowsThePlant("a click on the strip");

    // Space plays on from there, 8 times the trial's speed, then as fast as
    // possible, to the same end.
    W().ReplaySpeed->setCurrentIndex(3);
    QTest::keyClick(&W(), Qt::Key_Space);
    EXPECT_TRUE(S().Ticking() && W().Simulator.isActive());
    EXPECT_EQ(W().Simulator.interval(), std::max(1, S().timerInterval / 8));
    W().Simulator_Timer();
    EXPECT_EQ(S().ticksLived, 201);
    W().ReplaySpeed->setCurrentIndex(ui::FastestReplaySpeed);
    EXPECT_EQ(W().Simulator.interval(), 33) << "a frame's worth of ticks 30 times a second";
    W().Simulator_Timer();
    EXPECT_GT(S().ticksLived, 202) << "a frame plays many ticks";
    while (S().Ticking()) W().Simulator_Timer();
    ExpectShowsThePlant("as fast as possible to the end");
    EXPECT_EQ(W().TotalMissedBuckets->text(), total);
    EXPECT_TRUE(Shown(W().cmdDetailFB));
    window_.reset();
    EXPECT_TRUE(FolderBytes(folder_) == before) << "a replay action wrote into the study folder";
    EXPECT_TRUE(messages_.shown.empty());
}

}  // namespace
}  // namespace kestu::uitest
