// kestu: the participant's program. Splash, login, then the simulation window.
// kestu --data DIR keeps the study (database, logs, snapshots) in DIR;
// without it, the folder that holds the program when a study is there, and
// otherwise the user's own study folder ~/Kestu, made on the first start.
//
// KESTU_STARTUP_PROBE=1 prints the time from process start until the login
// window is on screen, then ends as a Cancel at the login would (nothing is
// written). Used by bench/startup_bench.sh.
#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/process_clock.h"
#include "app/startup.h"
#include "data/experiment_db.h"
#include "ui/frm_login.h"

namespace {
void ReportWhenExposed(kestu::ui::frmLogin& login)
{
    if (!login.windowHandle() || !login.windowHandle()->isExposed()) {
        QTimer::singleShot(1, &login, [&login] { ReportWhenExposed(login); });
        return;
    }
    std::printf("login window shown after %.0f ms\n", kestu::MillisecondsSinceProcessStart());
    std::fflush(stdout);
    login.cmdCancel_Click();
}
}  // namespace

int main(int argc, char** argv)
{
    // Everything that needs no display comes before QApplication, which
    // cannot start without one.
    const std::string userStudy = kestu::UserStudyFolder();
    const kestu::CommandLine line = kestu::ReadCommandLine(argc, argv, userStudy);
    switch (line.action) {
    case kestu::CommandLine::Action::Run: break;
    case kestu::CommandLine::Action::Help:
    case kestu::CommandLine::Action::Version:
        std::printf("%s", line.message.c_str());
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case kestu::CommandLine::Action::Wrong: std::fprintf(stderr, "%s", line.message.c_str()); return 2;
    }
    kestu::RunState state;
    const std::string programFolder = kestu::ProgramFolder();
    state.ProgramFolder = line.folder;
    state.SeatName = line.seat;
    state.LslMarkers = line.lsl;
    std::string problem;
    // An installed program's folder holds no study, and nothing is ever written there.
    bool createStudy = false;
    if (state.ProgramFolder.empty()) {
        if (kestu::HoldsStudy(programFolder)) {
            state.ProgramFolder = programFolder;
        } else if (userStudy.empty()) {
            std::fprintf(stderr, "kestu: there is no home folder for your own study folder; name one with --data\n");
            return 2;
        } else {
            state.ProgramFolder = userStudy;
            if (!kestu::PrepareUserStudyFolder(userStudy, createStudy, problem)) {
                std::fprintf(stderr, "%s\n", problem.c_str());
                return 1;
            }
        }
    }
    if (!kestu::ResolveStudyFolder(state.ProgramFolder, problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    if (!createStudy) {
        problem = kestu::MissingDatabaseProblem(state.ProgramFolder, programFolder);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return 1;
        }
    }
    kestu::PrepareRuntimeFolder();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestu"));
    if (createStudy) {
        // The first start in a new folder of the user's own: the standard scenario.
        const std::string database = kestu::ExperimentDb::DefaultPath(state.ProgramFolder);
        const auto created = kestu::ExperimentDb::Create(database, kestu::NewDbContent::StandardScenario);
        if (!created) {
            std::fprintf(stderr, "kestu: cannot create the study's database: %s\n", created.error().c_str());
            return 1;
        }
        std::fprintf(stderr, "Kestu: created the study folder %s with the standard scenario\n",
                     state.ProgramFolder.c_str());
    }
    std::fprintf(stderr, "Kestu: study folder %s\n", state.ProgramFolder.c_str());
    kestu::StartupOptions options;
    if (qEnvironmentVariableIntValue("KESTU_STARTUP_PROBE") == 1)
        options.loginShown = [](kestu::ui::frmLogin& login) {
            QTimer::singleShot(0, &login, [&login] { ReportWhenExposed(login); });
        };

    kestu::Startup startup(state);
    switch (startup.Run(options)) {
    case kestu::StartupResult::Running: return QApplication::exec();
    case kestu::StartupResult::LoginRefused: return 0;
    case kestu::StartupResult::PlantNotLoaded: return 1;
    case kestu::StartupResult::StudyRefused: return 1;
    }
    return 1;
}
