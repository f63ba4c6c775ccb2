#include <QCoreApplication>
#include <QGuiApplication>

#include <filesystem>
#include <memory>
#include <set>

#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/output_file.h"
#include "analysis/chart_file.h"
#include "analysis/logged_trial.h"
#include "analysis/tick_series.h"
#include "analysis/water_chart.h"
#include "trials/message_text.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

// Text on a QImage needs a GUI application; when none runs yet (a program
// that embeds the commands), one is made for the drawing, offscreen.
Result<std::unique_ptr<QGuiApplication>> EnsureGuiApplication()
{
    using Made = Result<std::unique_ptr<QGuiApplication>>;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return Made(nullptr);
    if (QCoreApplication::instance())
        return Made::Fail("drawing needs a QGuiApplication, and this program made a QCoreApplication");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kestuctl";
    static char* argv[] = {name, nullptr};
    return Made(std::make_unique<QGuiApplication>(argc, argv));
}

int RunPlot(const ParsedArgs& args, Console& console)
{
    const std::string logPath = args.Positional(0);
    const auto file = args.Value("--png");
    if (!file || file->empty()) return UsageError(args, console, "missing --png FILE");
    const auto format = ChartFormatFor(*file);
    if (!format) return UsageError(args, console, format.error());

    const auto foundDb = DatabaseForLog(logPath, args.Value("--db"));
    if (!foundDb) return Failure(args, console, NoDatabaseForLog);
    const std::string& dbPath = *foundDb;
    auto tables = LoadScenario(dbPath, console);
    if (!tables) return Failure(args, console, tables.error());
    const auto log = ReadTrialLog(logPath);
    if (!log) return Failure(args, console, log.error());
    auto replayed = ReplayTickSeries(tables.value(), log.value());
    if (!replayed) return Failure(args, console, replayed.error());
    TickSeries& series = replayed.value();
    KeepScheduledDeadlines(series, tables.value().deadline);

    const auto app = EnsureGuiApplication();
    if (!app) return Failure(args, console, app.error());
    const std::string title = "Water in each tank: " + std::filesystem::path(logPath).filename().string();
    const QImage chart = DrawWaterChart(series, {ForMessage(title), ForMessage(PlotSubtitle(series, dbPath))});

    const auto bytes = EncodeChart(chart, format.value());
    if (!bytes) return Failure(args, console, bytes.error());
    const Status written = WriteFile(*file, bytes.value(), console);
    if (!written) return Failure(args, console, written.error());
    console.out << *file << "\n";
    return ExitOk;
}

}  // namespace

// A tank without a deadline row still has the clock's zero as its deadline,
// judged at 00:00 with nothing owed; the chart draws only scheduled deadlines.
void KeepScheduledDeadlines(TickSeries& series, const std::vector<DeadlineRow>& rows)
{
    std::set<int> scheduled;
    for (const DeadlineRow& row : rows) scheduled.insert(row.TankNum);
    std::erase_if(series.judged, [&](const JudgedDeadline& j) { return !scheduled.contains(j.tank); });
}

// What the replay showed, in a line under the title.
std::string PlotSubtitle(const TickSeries& series, const std::string& dbPath)
{
    const TickRow& last = series.rows.back();
    const std::string ended = series.replay.endedByStop ? "stopped by a STOP at " + FormatClock(last.clock)
                              : series.replay.cutOffAt  ? "cut off at " + FormatClock(last.clock) +
                                                             " (the log ends there with no STOP)"
                                                        : "ended at the end time " + FormatClock(last.clock);
    return std::to_string(last.tick) + " ticks replayed, " + ended + "; " + std::to_string(series.judged.size()) +
           " deadlines judged (diamonds); scenario from " + dbPath;
}

const Command PlotCommand{
    "plot",
    "plot LOGFILE --png FILE [--db DB]",
    "Draw every tank's water over a trial as a chart (PNG, JPEG, ...).",
    "Replays the trial in LOGFILE, as the replay command does, and draws it\n"
    "into the image file FILE, in the format its suffix names (.png, .jpg,\n"
    ".bmp, ...; PNG for a name without a suffix; a suffix no image format\n"
    "of this build has is refused with exit status 2): one line per tank through its water at every\n"
    "tick (23 colours, tanks 12..22 dashed, and a legend), buckets up the side.\n"
    "Along the bottom run the ticks since the start, as the participant lived\n"
    "them, each labelled with the clock shown then, so a snapshot restore\n"
    "never folds the chart back: the clock goes back, the ticks go on.\n"
    "Lines across the chart, each kind in its own colour in the legend, mark\n"
    "each snapshot save (\"FF 03:10\"), each restore with an arrow to the clock\n"
    "it went back to (\"FFR\" then 03:10) and a STOP that ended the trial\n"
    "before its end time (\"STOP 01:54\"). A log cut off before its end time\n"
    "with no STOP (the program died, or a record could not be written) is\n"
    "drawn to its last record only, and the line under the title says so. A diamond on a tank's line marks\n"
    "each deadline of the scenario that the replay judged, at the tick it was\n"
    "judged, with a dashed guide naming the tanks due; the legend gives each\n"
    "tank's clock and buckets owed (what counts as missed). Deadlines after a\n"
    "STOP were never judged and are not drawn; one judged again after a restore\n"
    "is drawn again, and the legend gives its last judgement and how often it\n"
    "was judged (x2). A tank without a deadline row is judged at 00:00, when\n"
    "the trial starts then, with nothing owed; the chart leaves that out\n"
    "(log2csv --every-tick keeps it).\n\n"
    "The replay needs the scenario: from DB (a database file or a\n"
    "postgresql:// URL) or, without --db, from KESTU.MDB beside the log;\n"
    "with neither the command fails. Nothing but FILE is written. Needs no\n"
    "display.\n\n"
    "Example:\n"
    "  kestuctl plot ab12.5 --png ab12.5.png --db KESTU.MDB\n",
    {{"LOGFILE"}, 1, {"--png", "--db"}, {}},
    RunPlot,
};

}  // namespace kestu::ctl
