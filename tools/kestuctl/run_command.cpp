// Finds the command named by the first word, parses the rest for it and runs it.
#include <iomanip>
#include <ostream>

#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestu_version.h"
#include "trials/message_text.h"

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
    out << "\nkestuctl COMMAND --help tells what a command does, with an example;\n"
           "kestuctl --version prints the version.\n"
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

void NoSuchCommand(const std::string& name, std::ostream& err)
{
    err << "kestuctl: no command named \"" << ForMessage(name) << "\" (kestuctl --help lists them)\n";
}

int Dispatch(const std::vector<std::string>& args, Console& console)
{
    std::ostream& out = console.out;
    if (args.empty()) {
        PrintCommandList(console.err);
        return ExitUsage;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h") {
        PrintCommandList(out);
        return ExitOk;
    }
    if (name == "--version") {
        out << "kestuctl " << KestuVersion << "\n";
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
        NoSuchCommand(args[1], console.err);
        return ExitUsage;
    }

    const Command* command = FindCommand(name);
    if (!command) {
        NoSuchCommand(name, console.err);
        return ExitUsage;
    }
    const auto parsed = ParseArgs(*command, {args.begin() + 1, args.end()});
    if (!parsed) {
        ParsedArgs named;
        named.command = command->name;
        named.synopsis = command->synopsis;
        return UsageError(named, console, parsed.error());
    }
    if (parsed.value().help) {
        PrintCommandHelp(*command, out);
        return ExitOk;
    }
    return command->run(parsed.value(), console);
}

}  // namespace

const std::vector<const Command*>& AllCommands()
{
    static const std::vector<const Command*> commands = {
        &InitCommand,   &ImportScenarioCommand, &ExportScenarioCommand, &ExportCommand, &ReplayCommand,
        &RescoreCommand, &Log2CsvCommand,       &BaselineCommand,       &PlotCommand,    &RunTrialCommand,
        &FetchLogsCommand, &SyncCommand,          &CopyDbCommand, &ReportCommand, &ExportBidsCommand, &ServeCommand,
        &MarkersCommand,
    };
    return commands;
}

int RunCommand(const std::vector<std::string>& args, Console& console)
{
    const int status = Dispatch(args, console);
    console.out.flush();
    if (console.out.good()) return status;
    // A report or a CSV cut short by a full disk must not pass for a whole one.
    const bool named = !args.empty() && FindCommand(args[0]);
    console.err << "kestuctl" << (named ? " " + args[0] : std::string()) << ": cannot write to the standard output\n";
    return status == ExitOk ? ExitFailure : status;
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool showProgress)
{
    Console console{out, err, showProgress, {}};
    return RunCommand(args, console);
}

}  // namespace kestu::ctl
