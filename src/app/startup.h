#pragma once

#include <functional>
#include <memory>

#include "app/run_state.h"

namespace kestu::ui {
class frmLogin;
class frmSimulation;
class frmSplash;
}  // namespace kestu::ui

namespace kestu {

class SeatReporter;
namespace markers {
class MarkerOutlet;
}

struct StartupOptions {
    int splashMilliseconds = 1000;
    // Runs once the login window is on screen (the start-up probe uses it).
    std::function<void(ui::frmLogin&)> loginShown;
};

enum class StartupResult {
    Running,         // the simulation window is open; the event loop takes over
    LoginRefused,    // no participant: the program ends with nothing written
    PlantNotLoaded,  // the window could not load its plant; the message has been shown
    StudyRefused,    // the study folder's kestu.ini names no readable database; the message has been shown
};

// The program's start: splash, database path and engine constants, login,
// then the simulation window and, outside Replay, the options dialog.
class Startup {
public:
    explicit Startup(RunState& state);
    ~Startup();

    StartupResult Run(const StartupOptions& options = {});
    ui::frmSimulation* SimulationWindow() const { return window_.get(); }

private:
    void ShowSplash(ui::frmSplash& splash, int milliseconds);
    bool LogIn(const StartupOptions& options);
    void StartSeatReports();
    void StartMarkers();

    RunState& state_;
    // Outlives the window, whose session tells it the trial's events to the last.
    std::unique_ptr<SeatReporter> reporter_;
    std::unique_ptr<markers::MarkerOutlet> markers_;  // the seat's LSL stream, when markers are on
    std::unique_ptr<ui::frmSimulation> window_;
};

}  // namespace kestu
