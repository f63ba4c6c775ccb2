// kestuctl: the experimenter's command-line program. See `kestuctl --help`.
#include <QCoreApplication>
#include <QGuiApplication>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "kestuctl/command.h"

namespace {

// A GUI application asks for the user's runtime folder and, when the
// session names none (a cron job, a shell without a login session), warns
// on standard error although nothing failed. A folder of this run's own
// stands in for it, private (0700) as that folder must be, and goes at the end.
class RuntimeFolder {
public:
    RuntimeFolder()
    {
        if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
        std::error_code failed;
        std::string pattern = (std::filesystem::temp_directory_path(failed) / "kestuctl-runtime-XXXXXX").string();
        if (failed) pattern = "/tmp/kestuctl-runtime-XXXXXX";
        if (!::mkdtemp(pattern.data())) return;  // Qt then says why it has none, as before
        path_ = pattern;
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(path_));
    }
    ~RuntimeFolder()
    {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;

private:
    std::string path_;
};

}  // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Only the chart (plot, and the lab page's charts) needs fonts, which need a GUI application; it draws
    // offscreen, so it runs without a display.
    std::unique_ptr<RuntimeFolder> runtime;
    std::unique_ptr<QCoreApplication> app;
    if (!args.empty() && (args[0] == "plot" || args[0] == "serve")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        runtime = std::make_unique<RuntimeFolder>();
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);  // lets Qt find its SQLite driver
    }
    const int status = kestu::ctl::RunCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
    std::cout.flush();
    app.reset();  // before its runtime folder goes
    return std::cout.good() ? status : kestu::ctl::ExitFailure;
}
