// The simulation window: its load in each simulator mode and its geometry
// (every control in its own place, texts that fit, a layout that scales with
// the window); then what it shows while a trial is set up and runs: the
// session's controls, the engine's drawing calls, the background colours, the
// window's own display operations; and a participant's whole trial through
// the windows.
#include <QAbstractButton>
#include <QApplication>

#include <QElapsedTimer>
#include <QRegularExpression>

#include <algorithm>

#include "support/test_server.h"
#include "trials/file_sink.h"
#include "ui_fixture.h"
#include "ui/captions.h"
#include "ui/frm_login.h"
#include "ui/frm_new_user.h"
#include "ui/frm_sim_options.h"
#include "ui/plant_layout.h"
#include "ui/plant_view.h"
#include "ui/twip_scale.h"

namespace kestu::uitest {
namespace {

// Every mode shows an empty plant with every switch off; Replay lists the
// participant's trials, hides the trial buttons and locks the switches.
TEST_F(SimWindowTest, LoadsInEachSimulatorModeOrReportsWhyNot)
{
    const std::pair<const char*, ParticipantState> modes[] = {
        {"Experiment", {.UserID = "ann", .TrialNum = 2}},
        {"Training", {.UserID = "ann", .TrialNum = 2, .TrainingMode = true}},
        {"Replay", {.UserID = "ann", .TrialNum = 3, .ReplayMode = true}}};
    for (const auto& [mode, state] : modes) {
        SCOPED_TRACE(std::string(mode) + " after " + std::to_string(state.TrialNum) + " trials");
        const bool replay = state.ReplayMode;
        window_.reset();
        participant_ = state;
        ASSERT_TRUE(Open());
        EXPECT_TRUE(messages_.shown.empty());
        EXPECT_EQ(W().SimulatorMode->text(), mode);
        // The speed can be changed while watching a replay.
        for (QWidget* w : Widgets{W().ReplayConsole, W().HScroll1, W().lblSimLength}) EXPECT_EQ(Shown(w), replay) << Name(w);
        for (QWidget* w : Widgets{W().cmdSetup, W().cmdSimulate}) EXPECT_EQ(Shown(w), !replay) << Name(w);
        for (QWidget* w : Widgets{W().FFButton, W().DecisionConsole, W().Training, W().cmdDetailFB}) EXPECT_FALSE(Shown(w)) << Name(w);
        EXPECT_FALSE(W().cmdSimulate->isEnabled() || W().Simulator.isActive());

        const ui::PlantModel& plant = W().plantModel();
        EXPECT_EQ(plant.VisibleSegmentCount(), 0);
        for (int t = 0; t < TankCount; ++t) EXPECT_FALSE(plant.Tank(t).fillVisible || plant.Tank(t).lineVisible) << t;
        for (int s = 0; s < SwitchCount; ++s)
            EXPECT_EQ(std::pair(plant.Lamp(s), W().Switch[s]->isEnabled()), std::pair(SwitchStatus::Off, !replay)) << s;

        EXPECT_EQ(W().ReplayList->count(), replay ? 3 : 0) << "the participant's trials";
        EXPECT_EQ(W().ReplayList->currentIndex(), -1) << "no trial chosen yet";
        if (replay) {
            EXPECT_EQ(W().ReplayList->itemText(2), "3");
            EXPECT_TRUE(Shown(W().PlayButton) && !Shown(W().PauseButton));
            EXPECT_FALSE(W().PlayButton->isEnabled() || W().StopButton->isEnabled()) << "nothing to play yet";
        }
    }

    // A missing database is reported; a table that cannot be read, at the start of the program.
    window_.reset();
    std::filesystem::remove(dbPath_);
    EXPECT_FALSE(Open());
    ExpectOneMessageWith({DbPathText()});
}

// The title bar names the database in use: the file's path, or the server's
// URL as given without any password in it.
TEST_F(SimWindowTest, TheTitleBarNamesTheDatabaseInUseAndNeverAPassword)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(W().windowTitle(), "Kestu Simulation - " + DbPathText());
    const std::pair<const char*, const char*> urls[] = {
        {"postgresql://seat@lab-db:5433/study3?sslmode=require", "postgresql://seat@lab-db:5433/study3?sslmode=require"},
        {"postgresql://seat:pa@ss@lab-db/study3", "postgresql://seat@lab-db/study3"},
        {"postgres://seat@lab-db/study3?password=pa%40ss&sslmode=require", "postgres://seat@lab-db/study3?sslmode=require"},
        {"postgresql://lab-db/study3?password=x", "postgresql://lab-db/study3"},
        {"/lab/study:3/KESTU.MDB", "/lab/study:3/KESTU.MDB"}};
    for (const auto& [given, shown] : urls)
        EXPECT_EQ(ui::SimulationTitle(given), QStringLiteral("Kestu Simulation - ") + shown) << given;
}

// Every control of `parent` but the plant view, hidden ones shown so none can
// hide an overlap, lies inside it and clear of the others.
void ExpectNoOverlaps(QWidget* parent, const QWidget* plantView)
{
    std::vector<QWidget*> controls;
    for (QWidget* child : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child == plantView || child->isWindow() || child->objectName().startsWith("qt_")) continue;
        if (child->objectName().startsWith("MissedFB_")) continue;  // drawn over the tanks on purpose
        child->show();
        controls.push_back(child);
    }
    ASSERT_FALSE(controls.empty());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_TRUE(parent->rect().contains(controls[i]->geometry())) << Name(controls[i]) << " sticks out of " << Name(parent);
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << Name(controls[i]) << " overlaps " << Name(controls[j]);
    }
}

// The window at half, the design and double size.
constexpr double Sizes[] = {0.5, 1, 2};

void ResizeTo(QWidget& window, double factor)
{
    window.resize((QSizeF(window.sizeHint()) * factor).toSize());
    QCoreApplication::processEvents();
}

// At each size no control overlaps another (the hidden ones included) and
// every caption fits; twice the size, everything doubles; a wider window
// keeps the proportions and centres the design.
TEST_F(SimWindowTest, NoControlOverlapsOrClipsItsCaptionAtAnySizeAndTheLayoutScalesWithTheWindow)
{
    ASSERT_TRUE(Open());
    for (double factor : Sizes) {
        SCOPED_TRACE("size x" + std::to_string(factor));
        ResizeTo(W(), factor);
        ExpectNoOverlaps(&W(), W().plantView);
        for (QGroupBox* frame : W().findChildren<QGroupBox*>()) ExpectNoOverlaps(frame, W().plantView);
        for (QWidget* w : W().findChildren<QWidget*>()) {
            QString text;
            if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
            if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
            text.remove('&');
            if (text.isEmpty()) continue;
            const int room = w->width() - (qobject_cast<QAbstractButton*>(w) ? 8 * factor : 0);
            EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room) << Name(w) << ": " << text.toStdString();
            EXPECT_LE(w->fontMetrics().height(), w->height()) << Name(w);
        }
    }

    ResizeTo(W(), 1);
    const QRect small = W().Switch[17]->geometry();
    const int smallFont = W().PumpsInUse->font().pixelSize();
    ResizeTo(W(), 2);
    const QRect large = W().Switch[17]->geometry();
    EXPECT_NEAR(large.left(), 2 * small.left(), 1);
    EXPECT_NEAR(large.top(), 2 * small.top(), 1);
    EXPECT_NEAR(large.width(), 2 * small.width(), 1);
    EXPECT_EQ(W().PumpsInUse->font().pixelSize(), 2 * smallFont);
    EXPECT_EQ(W().plantView->geometry(), W().rect());

    W().resize(W().sizeHint().width() * 2, W().sizeHint().height());
    QCoreApplication::processEvents();
    EXPECT_EQ(W().Switch[17]->size(), small.size());
    EXPECT_GT(W().Switch[17]->x(), small.left());
}

// Grey ink (the numbers' colour and its blends; not water, not lamps) in `area` of `image`.
int GreyInk(const QImage& image, const QRect& area)
{
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            ink += qRed(c) == qGreen(c) && qGreen(c) == qBlue(c) && qRed(c) < 200;
        }
    return ink;
}

// Each tank shows its number in its own corner and nowhere else in the tank;
// each deadline time has its tank's number on its left, on the same row, and
// both say the tank in their tooltips: at half, the design and double size.
TEST_F(SimWindowTest, TankNumbersAndDeadlineTanksStayInPlaceAtEverySize)
{
    ASSERT_TRUE(Open());
    const ui::PlantLayout& layout = W().plantModel().layout();
    for (double factor : Sizes) {
        SCOPED_TRACE("size x" + std::to_string(factor));
        ResizeTo(W(), factor);
        const ui::TwipScale scale(W().size(), QSize(ui::DesignWidth, ui::DesignHeight));
        const QImage drawn = W().plantView->grab().toImage();
        for (int t = 0; t < TankCount; ++t) {
            const QRect box = scale.ToPixels(layout.TankNumber(t));
            const QRect outline = scale.ToPixels(layout.TankOutline(t));
            const QRect inside = outline.adjusted(2, 2, -2, -2);  // clear of the outline's antialiasing
            ASSERT_TRUE(outline.adjusted(1, 1, -1, -1).contains(box)) << "tank " << t;
            EXPECT_GT(GreyInk(drawn, box), 0) << "no number in tank " << t;
            EXPECT_EQ(GreyInk(drawn, inside), GreyInk(drawn, inside & box)) << "tank " << t << "'s number spills";
        }
        for (int k = 0; k < 12; ++k) {
            const QLabel* tank = W().DeadlineTank[k];
            const QLabel* time = W().TankDL[k];
            EXPECT_EQ(tank->text(), QString::number(LabelledTanks[k]));
            EXPECT_TRUE(tank->isVisible());
            EXPECT_EQ(tank->toolTip(), QStringLiteral("Deadline of tank %1").arg(LabelledTanks[k]));
            EXPECT_EQ(time->toolTip(), tank->toolTip());
            EXPECT_LT(tank->geometry().right(), time->geometry().left()) << k;
            EXPECT_NEAR(tank->geometry().center().y(), time->geometry().center().y(), 1) << k;
            EXPECT_LE(tank->fontMetrics().horizontalAdvance(tank->text()), tank->width()) << k;
        }
    }
}

QColor Back(const QWidget* w) { return w->palette().color(QPalette::Window); }

TEST_F(SimWindowTest, SetupShowsTheTrialAboutToRunAndSwitchClicksShowInLampsPipesAndCounter)
{
    ASSERT_TRUE(Open());
    Click(W().cmdSetup);
    EXPECT_TRUE(!Shown(W().cmdSetup) && W().cmdSimulate->isEnabled());
    // Deadline labels in the order of their tanks: 21, 22, 17, 18, 7, 8, 19, 20, 11, 12, 13, 14.
    EXPECT_EQ(Texts({W().TrialNum, W().SimTime, W().TankDL[0], W().TankDL[1], W().TankDL[8]}),
              QStringList({"5", "00:00", "07:00", "08:00", "02:00"}));
    // Tank 0 starts with 50 buckets: 25 twips of water, blue surface.
    const ui::TankGauge& tank0 = W().plantModel().Tank(0);
    EXPECT_EQ(std::tuple(tank0.fillVisible, tank0.height, tank0.lineColour), std::tuple(true, 25, ui::SurfaceColour::Blue));

    const auto& segments = W().plantModel().layout().Segments();
    auto flowing = [&](int tank) {
        int n = 0;
        for (std::size_t i = 0; i < segments.size(); ++i) n += W().plantModel().SegmentVisible(i) && segments[i].region == tank;
        return n;
    };
    Click(W().Switch[0]);
    EXPECT_EQ(W().plantModel().Lamp(0), SwitchStatus::On);
    EXPECT_GT(flowing(0), 0);
    EXPECT_EQ(W().plantModel().VisibleSegmentCount(), flowing(0)) << "only the pumped tank's pipe";
    EXPECT_EQ(W().PumpsInUse->text(), "1");
    const QColor fewPumps = Back(W().PumpsInUse);
    for (int s : {2, 4, 6, 8}) Click(W().Switch[s]);
    EXPECT_EQ(W().PumpsInUse->text(), "5");
    EXPECT_NE(Back(W().PumpsInUse), fewPumps) << "five pumps in use change the counter's colour";
    Click(W().Switch[0]);  // off again: the pump goes to cleaning
    EXPECT_EQ(flowing(0), 0);
}

// The partner window refused while a trial runs, a tick with a click during
// it, and closing the window: the log ends with STOP at the time reached.
TEST_F(SimWindowTest, ARunningTrialRefusesThePartnerWindowHandlesClicksDuringATickAndStopsOnClose)
{
    StartTrial();
    EXPECT_TRUE(W().Simulator.isActive());
    EXPECT_FALSE(Shown(W().cmdSimulate) || Shown(W().cmdSetup) || W().cmdTeamMode->isEnabled());
    W().cmdTeamMode_Click();
    EXPECT_TRUE(W().PartnerWindow.isNull());
    ExpectOneMessageWith({"The partner window cannot be opened while a trial runs."});
    EXPECT_EQ(S().plant().Clock, ClockTime{}) << "the running plant is untouched";
    EXPECT_TRUE(W().Simulator.isActive());

    // During the tick's yields a click is handled, but a timer event starts no second tick.
    auto windowYield = S().host.yield;
    bool fired = false;
    S().host.yield = [&](YieldPoint point) {
        if (!std::exchange(fired, true)) W().Simulator_Timer();  // as if the timer fired while events are processed
        if (point == YieldPoint::AfterArrival) QTest::mouseClick(W().Switch[2], Qt::LeftButton);
        windowYield(point);
    };
    W().Simulator_Timer();
    EXPECT_TRUE(fired);
    EXPECT_EQ(W().SimTime->text(), "00:01");
    EXPECT_EQ(S().plant().ElapsedTicks, 1);
    EXPECT_EQ(W().plantModel().Lamp(2), SwitchStatus::On);
    S().host.yield = windowYield;
    for (int i = 0; i < 4; ++i) W().Simulator_Timer();
    W().close();
    EXPECT_FALSE(W().Simulator.isActive());
    EXPECT_EQ(LogHeaders(FilePath("ann.5")).back(), "0,5,\"STOP\",0");
}

// A held snapshot paints the window's background set in one colour other than
// the face colour; the counters keep their own.
TEST_F(SimWindowTest, TheBackgroundShowsAHeldSnapshotOnTheWholeSetAndSparesTheCounters)
{
    participant_.FeedforwardOn = true;
    StartTrial();
    const QList<QWidget*> set = W().BackgroundSet();
    // The set: the window and every caption, figure and frame but the counters,
    // the figures drawn over the tanks and the decision console.
    QList<QWidget*> ownColours = {W().TotalMissedBuckets, W().PumpsInUse, W().DecisionConsole};
    for (QLabel* label : W().MissedFB) ownColours.push_back(label);
    EXPECT_TRUE(set.contains(&W()));
    for (QWidget* w : W().findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QGroupBox*>(w)) continue;
        if (!w->autoFillBackground() && !set.contains(w)) continue;  // transparent: shows the window's colour
        EXPECT_NE(set.contains(w), ownColours.contains(w)) << Name(w);
    }
    const QColor face = QApplication::palette().color(QPalette::Button);
    const QColor missedBack = Back(W().TotalMissedBuckets), pumpsBack = Back(W().PumpsInUse);
    auto expectBackground = [&](const QColor& colour, const char* step) {
        for (QWidget* w : set) EXPECT_TRUE(Back(w) == colour && w->autoFillBackground()) << step << ": " << Name(w);
        EXPECT_TRUE(Back(W().TotalMissedBuckets) == missedBack && Back(W().PumpsInUse) == pumpsBack) << step;
    };
    expectBackground(face, "trial running");
    W().Simulator_Timer();
    Click(W().FFButton);
    const QColor held = Back(&W());
    EXPECT_NE(held, face);
    expectBackground(held, "snapshot held");
    for (int i = 0; i < 3; ++i) W().Simulator_Timer();
    Click(W().FFButton);
    expectBackground(face, "snapshot restored");
    EXPECT_EQ(W().SimTime->text(), "00:01") << "back at the snapshot's time";
}

// A participant's whole road through the windows: register at the login
// (with Replay chosen, as a new participant has nothing to replay), choose the
// fastest speed, run an Experiment trial to its end with a few clicks, then
// replay it in a second run of the program.
// The tick source never starts a tick inside another, even when a tick lets
// events run for longer than an interval, and a tick that stops it is the last.
TEST(TickTimerTest, TicksNeverNestAndAStopInsideATickIsFinal)
{
    ui::TickTimer timer;
    int depth = 0, deepest = 0, ticks = 0;
    QObject::connect(&timer, &ui::TickTimer::timeout, [&] {
        ++ticks;
        deepest = std::max(deepest, ++depth);
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 12) QCoreApplication::processEvents();  // three intervals of yields
        if (ticks == 4) timer.stop();
        --depth;
    });
    timer.start(4);
    EXPECT_TRUE(timer.isActive());
    QTest::qWait(150);
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(deepest, 1);
    EXPECT_FALSE(timer.isActive());
    timer.setInterval(125);  // a stopped timer takes the interval and stays stopped
    EXPECT_EQ(timer.interval(), 125);
    EXPECT_FALSE(timer.isActive());
}

// The study in a file, or on a lab's server; the windows do the same.
enum class Where { File, Server };

class WholeTrialTest : public SimWindowTest, public ::testing::WithParamInterface<Where> {
protected:
    void SetUp() override
    {
        SimWindowTest::SetUp();
        if (GetParam() == Where::File) return;
        dbPath_ = testsupport::NewServerDatabase();
        const auto created = ExperimentDb::Create(dbPath_, NewDbContent::StandardScenario);
        ASSERT_TRUE(created.ok()) << created.error();
    }
    void TearDown() override
    {
        SimWindowTest::TearDown();
        if (GetParam() == Where::Server) testsupport::DropServerDatabase(dbPath_);
    }
    std::unique_ptr<ExperimentDb> Db() { return ExperimentDb::Open(dbPath_, OpenMode::ReadOnly).value(); }
};

TEST_P(WholeTrialTest, AnExperimentTrialIsRecordedAndReplaysToTheSameScore)
{
    modals_.on["frmNewUser"] = [](QDialog& dialog) {
        auto& form = dynamic_cast<ui::frmNewUser&>(dialog);
        EXPECT_EQ(form.ID->text(), "kim");
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
        login.Replay->setChecked(true);  // a new participant goes on as Experiment
        login.cmdOK_Click();
        ASSERT_TRUE(login.LoginAccepted);
        EXPECT_TRUE(participant_.ExperimentMode());
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

    // The database: the trial's row, complete, its log, and the participant's count.
    const CellTable rows = Db()->ReadWholeTable("Experiments").value();
    ASSERT_EQ(rows.rows.size(), 1u);
    const auto cell = [&](const char* column) {
        const auto at = std::find(rows.columns.begin(), rows.columns.end(), column) - rows.columns.begin();
        return rows.rows[0].at(static_cast<std::size_t>(at));
    };
    EXPECT_EQ(cell("UserID"), Cell(std::string("kim")));
    EXPECT_EQ(cell("Experiment"), Cell(1LL));
    EXPECT_EQ(cell("SimRate"), Cell(1.0));
    EXPECT_EQ(cell("Scenario"), Cell(std::string("Standard")));
    const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    for (const char* column : {"StartTime", "EndTime"})
        EXPECT_TRUE(time.match(QString::fromStdString(std::get<std::string>(cell(column)))).hasMatch()) << column;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d$"))
                    .match(QString::fromStdString(std::get<std::string>(cell("Date"))))
                    .hasMatch());
    const QString missed = W().TotalMissedBuckets->text();
    EXPECT_EQ(std::get<double>(cell("MissedBuckets")), missed.toDouble());
    EXPECT_NEAR(std::get<double>(cell("BusyTime")) + std::get<double>(cell("SweepTime")) +
                    std::get<double>(cell("IdleTime")),
                1.0, 1e-12);
    EXPECT_EQ(Db()->FindParticipant("kim").value()->TrialNum, "1");
    const auto logs = Db()->ReadTrialLogs("kim").value();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].Bytes, ReadWholeFile(FilePath("kim.1")).value());

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
    EXPECT_EQ(Db()->ReadWholeTable("Experiments").value().rows.size(), 1u) << "a replay records nothing";
    EXPECT_EQ(LogHeaders(FilePath("kim.1")).back(), "8,0,\"STOP\",0");

    // The same log cut off before its STOP (a crash) replays to its last
    // record, no further, and the window says the trial was cut off there.
    std::string bytes = ReadWholeFile(FilePath("kim.1")).value();
    bytes.resize(bytes.rfind("8,0,\"STOP\",0"));
    ASSERT_TRUE(ReplaceFile(FilePath("kim.1"), bytes).ok());
    const QStringList last = QString::fromStdString(LogHeaders(FilePath("kim.1")).back()).split(',');
    const QString lastClock = QStringLiteral("%1:%2").arg(last[0].toInt(), 2, 10, QChar('0')).arg(last[1].toInt(), 2, 10, QChar('0'));
    ASSERT_NE(lastClock, "08:00");
    window_.reset();
    ASSERT_TRUE(Open());
    W().ReplayList->setCurrentIndex(0);
    emit W().ReplayList->activated(0);
    W().HScroll1->setValue(125);
    Click(W().PlayButton);
    RunTicks();
    QCoreApplication::processEvents();
    EXPECT_EQ(W().SimTime->text(), lastClock);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_TRUE(messages_.shown[0].text.contains("cut off")) << messages_.shown[0].text.toStdString();
    EXPECT_TRUE(messages_.shown[0].text.contains(lastClock)) << messages_.shown[0].text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, WholeTrialTest, ::testing::Values(Where::File, Where::Server),
                         [](const ::testing::TestParamInfo<Where>& info) {
                             return info.param == Where::File ? "SqliteFile" : "PostgresServer";
                         });

}  // namespace
}  // namespace kestu::uitest
