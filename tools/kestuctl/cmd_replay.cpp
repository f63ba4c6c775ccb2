#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/replay_run.h"
#include "kestuctl/trial_figures.h"

namespace kestu::ctl {

namespace {

int RunReplay(const ParsedArgs& args, Console& console)
{
    const std::string logPath = args.Positional(1);
    auto tables = LoadScenario(args.Positional(0));
    if (!tables) return Failure(args, console, tables.error());
    const ReplayOutcome replay = ReplayInScratch(tables.value(), logPath);
    if (!replay.error.empty()) return Failure(args, console, replay.error);
    const TrialFigures figures = FiguresOf(replay);
    console.out << (args.Has("--json") ? FiguresJson(logPath, figures) : FiguresText(logPath, figures));
    return ExitOk;
}

}  // namespace

const Command ReplayCommand{
    "replay",
    "replay DB LOGFILE [--json]",
    "Replay a trial log headless and print its score.",
    "LOGFILE is replayed with DB's scenario by the same core as the window's\n"
    "replay: its clicks are re-performed at their logged clock times. Printed:\n"
    "the clock at the end (and whether a STOP record ended the trial early), the\n"
    "missed-bucket total, each judged tank's missed figure, the busy, cleaning\n"
    "and idle pump-ticks and their shares of the pump capacity. --json prints\n"
    "one JSON object instead. Nothing is written: the replay works in a\n"
    "temporary folder.\n\n"
    "Example:\n"
    "  kestuctl replay KESTU.MDB ab12.5\n"
    "  kestuctl replay KESTU.MDB ab12.5 --json > ab12.5.json\n",
    {{"DB", "LOGFILE"}, 2, {}, {"--json"}},
    RunReplay,
};

}  // namespace kestu::ctl
