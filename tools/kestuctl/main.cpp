// kestuctl: the experimenter's command-line program. See `kestuctl --help`.
#include <QCoreApplication>
#include <QGuiApplication>

#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "kestuctl/command.h"

int main(int argc, char* argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Only the chart needs fonts, which need a GUI application; it draws
    // offscreen, so it runs without a display.
    std::unique_ptr<QCoreApplication> app;
    if (!args.empty() && args[0] == "plot") {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);  // lets Qt find its SQLite driver
    }
    const int status = kestu::ctl::RunCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
    std::cout.flush();
    return std::cout.good() ? status : kestu::ctl::ExitFailure;
}
