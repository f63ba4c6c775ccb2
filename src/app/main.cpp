// kestu: the participant's program. Splash, login, then the simulation window.
//
// KESTU_STARTUP_PROBE=1 prints the time from process start until the login
// window is on screen, then ends as a Cancel at the login would (nothing is
// written). Used by bench/startup_bench.sh.
#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>

#include "app/process_clock.h"
#include "app/startup.h"
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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestu"));

    kestu::RunState state;
    state.ProgramFolder = QCoreApplication::applicationDirPath().toStdString();
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
    }
    return 1;
}
