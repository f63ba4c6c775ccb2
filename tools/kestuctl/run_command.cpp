// Finds the command named by the first word, parses the rest for it and runs it.
#include <iomanip>
#include <ostream>

#include "kestuctl/command.h"
#include "kestuctl/commands.h"

namespace kestu::ctl {

namespace {

void PrintCommandList(std::ostream& out)
{
    out << "usage: kestuctl COMMAND [ARGUMENTS]\n\n"
           "The experimenter's tool for Kestu's experiment database and trial logs.\n\n"
           "Commands:\n";
    for (const Command* command : AllCommands()) {
        out << "  " << std::left << std::setw(17) << command->name << command->summary << "\n";
    }
    out << "\nkestuctl COMMAND --help tells what a command does, with an example.\n"
           "Exit status: 0 success, 1 failure, 2 a wrong command line.\n";
}

void PrintCommandHelp(const Command& command, std::ostream& out)
{
    out << "usage: kestuctl " << command.synopsis << "\n\n" << command.summary << "\n\n" << command.details;
}

const Command* FindCommand(const std::string& name)
{
    for (const Command* command : AllCommands()) {
        if (command->name == name) return command;
    }
    return nullptr;
}

}  // namespace

const std::vector<const Command*>& AllCommands()
{
    static const std::vector<const Command*> commands = {
        &InitCommand,   &ImportScenarioCommand, &ExportScenarioCommand, &ExportCommand, &ReplayCommand,
        &RescoreCommand, &Log2CsvCommand,       &BaselineCommand,       &PlotCommand,
    };
    return commands;
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool showProgress)
{
    if (args.empty()) {
        PrintCommandList(err);
        return ExitUsage;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h") {
        PrintCommandList(out);
        return ExitOk;
    }
    if (name == "help") {
        if (args.size() == 1) {
            PrintCommandList(out);
            return ExitOk;
        }
        if (const Command* command = FindCommand(args[1])) {
            PrintCommandHelp(*command, out);
            return ExitOk;
        }
        err << "kestuctl: no command named \"" << args[1] << "\" (kestuctl --help lists them)\n";
        return ExitUsage;
    }

    const Command* command = FindCommand(name);
    if (!command) {
        err << "kestuctl: no command named \"" << name << "\" (kestuctl --help lists them)\n";
        return ExitUsage;
    }
    std::string error;
    const auto parsed = ParseArgs(*command, {args.begin() + 1, args.end()}, error);
    Console console{out, err, showProgress};
    if (!parsed) {
        ParsedArgs named;
        named.command = command->name;
        named.synopsis = command->synopsis;
        return UsageError(named, console, error);
    }
    if (parsed->help) {
        PrintCommandHelp(*command, out);
        return ExitOk;
    }
    return command->run(*parsed, console);
}

}  // namespace kestu::ctl
