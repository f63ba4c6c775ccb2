#pragma once

#include "ui/frm_simulation.h"
#include "ui_fixture.h"

namespace kestu::uitest {

// A simulation window on the test's program folder, shown offscreen.
class SimWindowTest : public UiTest {
protected:
    void TearDown() override { window_.reset(); }

    // Creates, loads and shows the window; returns what the load step returned.
    bool Open()
    {
        window_ = std::make_unique<ui::frmSimulation>(participant_, dbPath_, folder_);
        const bool loaded = window_->Form_Load();
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return loaded;
    }

    // Opens the window and starts a trial the way the participant does.
    void StartTrial()
    {
        ASSERT_TRUE(Open());
        Click(W().cmdSetup);
        Click(W().cmdSimulate);
    }

    ui::frmSimulation& W() { return *window_; }
    TrialSession& S() { return window_->session(); }
    // Visible once the window is shown, whatever the window's own state.
    bool Shown(const QWidget* w) const { return w->isVisibleTo(window_.get()); }

    // Runs ticks the way the timer does until the trial stops (or `limit` ticks).
    int RunTicks(int limit = 5000)
    {
        int ticks = 0;
        while (S().engine.TimerRunning() && ticks < limit) {
            window_->Simulator_Timer();
            ++ticks;
        }
        return ticks;
    }

    std::unique_ptr<ui::frmSimulation> window_;
};

}  // namespace kestu::uitest
