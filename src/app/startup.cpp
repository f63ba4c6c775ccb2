#include "app/startup.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <cstdio>

#include "app/study_settings.h"
#include "data/outbox.h"
#include "data/seat_reporter.h"
#include "data/experiment_db.h"
#include "data/study_ini.h"
#include "kestu_version.h"
#include "markers/lsl_library.h"
#include "markers/marker_outlet.h"
#include "ui/frm_login.h"
#include "ui/frm_sim_options.h"
#include "ui/frm_simulation.h"
#include "ui/frm_splash.h"
#include "ui/prompts.h"

namespace kestu {

namespace {
// Without a window manager (a kiosk session) windows would open in a corner.
void CentreOnScreen(QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    if (!window.testAttribute(Qt::WA_Resized)) window.adjustSize();
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft().x() < 0 ? 0 : frame.topLeft().x(), frame.topLeft().y() < 0 ? 0 : frame.topLeft().y());
}
}  // namespace

Startup::Startup(RunState& state) : state_(state) {}
Startup::~Startup() = default;

StartupResult Startup::Run(const StartupOptions& options)
{
    {
        ui::frmSplash splash;
        ShowSplash(splash, options.splashMilliseconds);
        const auto database = StudyDatabase(state_.ProgramFolder);
        if (!database) {
            const std::string problem = StudyIniProblem(database.fault());
            std::fprintf(stderr, "Kestu: %s\n", problem.c_str());
            ui::ShowMessage(nullptr, QMessageBox::Critical, QStringLiteral("Kestu"),
                            QStringLiteral("The study folder's kestu.ini does not name a database Kestu can use, "
                                           "so the program stops. Correct the file, or remove it to use the "
                                           "study folder's KESTU.MDB.\n\n") +
                                QString::fromStdString(problem));
            return StartupResult::StudyRefused;
        }
        state_.DatabasePath = database.value();
        const std::string delivered = DeliverKeptResults(state_.ProgramFolder, state_.DatabasePath);
        if (!delivered.empty()) std::fprintf(stderr, "%s\n", delivered.c_str());
        state_.constants = EngineConstants{2, 10};
    }  // the splash closes here
    if (!LogIn(options)) return StartupResult::LoginRefused;

    window_ = std::make_unique<ui::frmSimulation>(state_.participant, state_.DatabasePath, state_.ProgramFolder,
                                                  state_.constants);
    if (ParticipantLock* lock = state_.participantLock.get())
        window_->CheckBeforeClaim([lock] { return lock->Reassert(); });
    if (!window_->Form_Load()) {
        window_.reset();
        return StartupResult::PlantNotLoaded;
    }
    StartSeatReports();
    StartMarkers();
    CentreOnScreen(*window_);
    window_->show();
    if (!state_.participant.ReplayMode) {
        ui::frmSimOptions simOptions(state_.participant, *window_, window_.get());
        ui::RunModal(simOptions);
    }
    return StartupResult::Running;
}

void Startup::ShowSplash(ui::frmSplash& splash, int milliseconds)
{
    splash.lblVersion->setText(QStringLiteral("Version ") + QString::fromUtf8(KestuVersion));
    splash.lblStudyFolder->setText(QStringLiteral("Study folder: ") + QString::fromStdString(state_.ProgramFolder));
    CentreOnScreen(splash);
    splash.show();
    splash.repaint();  // fully drawn before the wait
    splash.HoldFor(milliseconds);
}

// The seat's row on the lab page, kept by a thread of its own from the
// window's trial events; it never holds up the window.
void Startup::StartSeatReports()
{
    // kestu.ini was read at the start already; should it have become
    // unreadable since, the seat reports under the program's defaults.
    const auto settings = StudySeat(state_.ProgramFolder);
    const SeatSettings seat = settings ? settings.value() : SeatSettings{};
    if (!seat.reports) return;
    const std::string name = !state_.SeatName.empty() ? state_.SeatName : seat.name.value_or(ThisComputer());
    reporter_ = std::make_unique<SeatReporter>(SeatReporterSettings{
        .location = state_.DatabasePath, .seat = name, .outboxPath = OutboxPath(state_.ProgramFolder)});
    reporter_->Idle(state_.participant.UserID);
    window_->session().observers.Add(reporter_.get());
}

// The trials' markers on the seat's LSL stream, switched on by kestu --lsl
// or by kestu.ini's [markers] lsl=on. Without the library the program says
// so once and runs on without markers.
void Startup::StartMarkers()
{
    const auto settings = StudySeat(state_.ProgramFolder);
    const SeatSettings seat = settings ? settings.value() : SeatSettings{};
    if (!state_.LslMarkers && !seat.lslMarkers) return;
    std::string problem;
    std::shared_ptr<const markers::LslLibrary> library = markers::LslLibrary::Load(problem);
    if (library) {
        std::string study;
        if (auto db = ExperimentDb::Open(state_.DatabasePath, OpenMode::ReadOnly)) {
            if (auto id = db.value()->StudyId()) study = id.value();
        }
        const std::string name = !state_.SeatName.empty() ? state_.SeatName : seat.name.value_or(ThisComputer());
        markers_ = markers::MarkerOutlet::OpenLsl(
            library, {.seat = name, .version = {}, .participant = state_.participant.UserID, .study = study}, problem);
    }
    if (!markers_) {
        const std::string said = problem + " The trials run without markers.";
        std::fprintf(stderr, "Kestu: %s\n", said.c_str());
        ui::ShowMessage(window_.get(), QMessageBox::Warning, QStringLiteral("Kestu"), QString::fromStdString(said));
        return;
    }
    window_->session().observers.Add(markers_.get());
}

bool Startup::LogIn(const StartupOptions& options)
{
    ui::frmLogin login(state_.participant, state_.DatabasePath);
    CentreOnScreen(login);
    if (options.loginShown)
        QObject::connect(&login, &ui::frmLogin::shown, &login, [&login, &options] { options.loginShown(login); });
    ui::RunModal(login);
    if (login.LoginAccepted) state_.participantLock = login.TakeLock();
    return login.LoginAccepted;
}

}  // namespace kestu
