// kestu: the participant's program. Splash, login, then the simulation window.
// kestu --data DIR keeps the study (database, logs, snapshots) in DIR.
//
// KESTU_STARTUP_PROBE=1 prints the time from process start until the login
// window is on screen, then ends as a Cancel at the login would (nothing is
// written). Used by bench/startup_bench.sh.
#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "app/process_clock.h"
#include "app/startup.h"
#include "trials/message_text.h"
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
enum class Arguments { Run, Help, Wrong };

// kestu [--data DIR]: the study folder holds the database, the trial logs
// and the snapshots; without it, the program's own folder. The folder name is
// kept as the system's bytes.
Arguments ReadArguments(int argc, char** argv, std::string& folder)
{
    const char* usage = "usage: kestu [--data STUDY_FOLDER]\n";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", usage);
            return Arguments::Help;
        }
        if (arg == "--data" && i + 1 < argc) {
            folder = argv[++i];
            continue;
        }
        std::fprintf(stderr, "kestu: unknown argument \"%s\"\n%s", kestu::ForMessage(arg).c_str(), usage);
        return Arguments::Wrong;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "kestu: the study folder \"%s\" does not exist\n", kestu::ForMessage(folder).c_str());
        return Arguments::Wrong;
    }
    char* absolute = ::realpath(folder.c_str(), nullptr);
    if (absolute) {
        folder = absolute;
        std::free(absolute);
    }
    return Arguments::Run;
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestu"));

    kestu::RunState state;
    state.ProgramFolder = QCoreApplication::applicationDirPath().toStdString();
    switch (ReadArguments(argc, argv, state.ProgramFolder)) {
    case Arguments::Run: break;
    case Arguments::Help: return 0;
    case Arguments::Wrong: return 2;
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
