// The program's start: what a refused login leaves behind, the order in
// which windows open, and a plant that cannot load.
#include <QElapsedTimer>
#include <QSysInfo>
#include <QTimer>

#include <iterator>

#include "app/startup.h"
#include "ui/frm_login.h"
#include "ui/frm_sim_options.h"
#include "ui/frm_splash.h"
#include "ui_fixture.h"

namespace kestu::uitest {
namespace {

std::string FileBytes(const std::string& path)
{
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

class StartupTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        AddParticipant("ann", "2");
    }
    // A run of the program with no splash wait, its login answered by `login`.
    StartupResult Run(std::function<void(QDialog&)> login)
    {
        startup_.reset();
        state_ = RunState{};
        state_.ProgramFolder = folder_;
        modals_.on["frmLogin"] = std::move(login);
        modals_.opened.clear();
        startup_ = std::make_unique<Startup>(state_);
        return startup_->Run({.splashMilliseconds = 0, .loginShown = {}});
    }
    static std::function<void(QDialog&)> LogInAs(const QString& userId, const char* mode = "Experiment")
    {
        return [userId, mode](QDialog& dialog) {
            auto& login = dynamic_cast<ui::frmLogin&>(dialog);
            login.findChild<QRadioButton*>(mode)->setChecked(true);
            login.txtUserID->setText(userId);
            login.cmdOK_Click();
        };
    }

    RunState state_;
    std::unique_ptr<Startup> startup_;
};

TEST_F(StartupTest, ARefusedLoginEndsTheRunWithNothingWritten)
{
    const std::string before = FileBytes(dbPath_);
    const std::pair<const char*, std::function<void(QDialog&)>> refusals[] = {
        {"Cancel", [](QDialog& dialog) { dynamic_cast<ui::frmLogin&>(dialog).cmdCancel_Click(); }},
        {"closing the window", [](QDialog& dialog) { dialog.close(); }}};
    for (const auto& [how, refuse] : refusals) {
        SCOPED_TRACE(how);
        EXPECT_EQ(Run(refuse), StartupResult::LoginRefused);
        EXPECT_EQ(modals_.opened, std::vector<QString>{"frmLogin"});
        EXPECT_EQ(startup_->SimulationWindow(), nullptr);
        EXPECT_TRUE(messages_.shown.empty());
        EXPECT_EQ(FileBytes(dbPath_), before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1) << "only the database";
    }
}

// Experiment: the window first, then the options dialog in front of it, whose
// check box shows and hides the window's Feedforward button each time; Replay:
// no options.
TEST_F(StartupTest, AnAcceptedLoginOpensTheWindowAndThenTheOptionsInFrontUnlessReplaying)
{
    bool windowShownFirst = false;
    modals_.on["frmSimOptions"] = [&](QDialog& dialog) {
        ui::frmSimulation* window = startup_->SimulationWindow();
        ASSERT_NE(window, nullptr);
        windowShownFirst = window->isVisible();
        auto& options = dynamic_cast<ui::frmSimOptions&>(dialog);
        EXPECT_EQ(options.parentWidget(), window);
        EXPECT_FALSE(window->FFButton->isVisibleTo(window));
        for (bool on : {true, false, true}) {
            options.chkFeedforward->setChecked(on);
            EXPECT_EQ(std::pair(state_.participant.FeedforwardOn, window->FFButton->isVisibleTo(window)), std::pair(on, on));
        }
        options.HScroll1->setValue(3750);
        options.cmdContinue_Click();
    };
    EXPECT_EQ(Run(LogInAs("ann")), StartupResult::Running);
    EXPECT_EQ(modals_.opened, (std::vector<QString>{"frmLogin", "frmSimOptions"}));
    EXPECT_TRUE(windowShownFirst);
    EXPECT_EQ(std::pair(state_.participant.TrialNum, state_.participant.SimRate), std::pair(2, 3750));
    ASSERT_NE(startup_->SimulationWindow(), nullptr);

    EXPECT_EQ(Run(LogInAs("ann", "Replay")), StartupResult::Running);
    EXPECT_EQ(modals_.opened, std::vector<QString>{"frmLogin"});
    EXPECT_FALSE(state_.participant.SimRate || state_.participant.FeedforwardOn);
    ASSERT_NE(startup_->SimulationWindow(), nullptr);
    EXPECT_EQ(startup_->SimulationWindow()->SimulatorMode->text(), "Replay");
}

TEST_F(StartupTest, AWindowThatCannotLoadItsPlantEndsTheRunAfterItsMessage)
{
    SqlValue("DROP TABLE sorttable");
    EXPECT_EQ(Run(LogInAs("ann")), StartupResult::PlantNotLoaded);
    EXPECT_EQ(startup_->SimulationWindow(), nullptr);
    EXPECT_EQ(modals_.opened, std::vector<QString>{"frmLogin"});
    ExpectOneMessageWith({"sorttable"});
}

TEST(SplashTest, NamesThePlatformAndKeepsEventsFlowingWhileHeld)
{
    ui::frmSplash splash;
    EXPECT_TRUE(splash.lblPlatform->text().startsWith(QSysInfo::prettyProductName()));
    splash.show();
    int fired = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++fired; });
    ticker.start(20);
    QElapsedTimer clock;
    clock.start();
    splash.HoldFor(300);
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_GE(fired, 5) << "events must be processed during the hold";
}

}  // namespace
}  // namespace kestu::uitest
