// The program's start: what a refused login leaves behind, the order in
// which windows open, and a plant that cannot load.
#include <QElapsedTimer>
#include <QSysInfo>
#include <QTimer>

#include <iterator>

#include "app/startup.h"
#include "ui/frm_login.h"
#include "ui/frm_sim_options.h"
#include "ui/frm_simulation.h"
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
        state_.ProgramFolder = folder_;
        AddParticipant("ann", "2");
    }

    StartupResult Run()
    {
        startup_ = std::make_unique<Startup>(state_);
        StartupOptions options;
        options.splashMilliseconds = 0;
        return startup_->Run(options);
    }

    void LogInAs(const QString& userId, const char* mode = "Experiment")
    {
        modals_.on["frmLogin"] = [userId, mode](QDialog& dialog) {
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
    const auto modified = std::filesystem::last_write_time(dbPath_);
    const std::pair<const char*, std::function<void(QDialog&)>> refusals[] = {
        {"Cancel", [](QDialog& dialog) { dynamic_cast<ui::frmLogin&>(dialog).cmdCancel_Click(); }},
        {"closing the window", [](QDialog& dialog) { dialog.close(); }}};
    for (const auto& [how, refuse] : refusals) {
        modals_.opened.clear();
        modals_.on["frmLogin"] = refuse;
        EXPECT_EQ(Run(), StartupResult::LoginRefused) << how;
        EXPECT_EQ(modals_.opened, std::vector<QString>{"frmLogin"}) << how;
        EXPECT_EQ(startup_->SimulationWindow(), nullptr) << how;
        EXPECT_TRUE(messages_.shown.empty()) << how;
        EXPECT_EQ(FileBytes(dbPath_), before) << how;
        EXPECT_EQ(std::filesystem::last_write_time(dbPath_), modified) << how;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1) << "only the database";
    }
}

TEST_F(StartupTest, AnAcceptedLoginOpensTheWindowAndThenTheOptionsInFront)
{
    LogInAs("ann");
    bool windowShownFirst = false;
    modals_.on["frmSimOptions"] = [&](QDialog& dialog) {
        windowShownFirst = startup_->SimulationWindow() && startup_->SimulationWindow()->isVisible();
        auto& options = dynamic_cast<ui::frmSimOptions&>(dialog);
        EXPECT_EQ(options.parentWidget(), startup_->SimulationWindow());
        options.HScroll1->setValue(3750);
        options.cmdContinue_Click();
    };
    EXPECT_EQ(Run(), StartupResult::Running);
    EXPECT_EQ(modals_.opened, (std::vector<QString>{"frmLogin", "frmSimOptions"}));
    EXPECT_TRUE(windowShownFirst);
    EXPECT_EQ(state_.DatabasePath, folder_ + "/KESTU.MDB");
    EXPECT_EQ(state_.constants.PumpCycleTicks, 2);
    EXPECT_EQ(state_.constants.CleanTicks, 10);
    EXPECT_EQ(state_.participant.TrialNum, 2);
    EXPECT_EQ(state_.participant.SimRate, 3750);
    ASSERT_NE(startup_->SimulationWindow(), nullptr);
    EXPECT_EQ(startup_->SimulationWindow()->HScroll1->value(), 3750);
}

TEST_F(StartupTest, ReplayOpensNoOptionsDialog)
{
    LogInAs("ann", "Replay");
    EXPECT_EQ(Run(), StartupResult::Running);
    EXPECT_EQ(modals_.opened, std::vector<QString>{"frmLogin"});
    EXPECT_EQ(state_.participant.SimRate, 0);
    EXPECT_FALSE(state_.participant.FeedforwardOn);
    ASSERT_NE(startup_->SimulationWindow(), nullptr);
    EXPECT_EQ(startup_->SimulationWindow()->SimulatorMode->text(), "Replay");
}

TEST_F(StartupTest, AWindowThatCannotLoadItsPlantEndsTheRunAfterItsMessage)
{
    Sql("DROP TABLE sorttable");
    LogInAs("ann");
    EXPECT_EQ(Run(), StartupResult::PlantNotLoaded);
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
