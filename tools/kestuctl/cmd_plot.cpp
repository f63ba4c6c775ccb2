#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImageWriter>

#include <filesystem>
#include <memory>

#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/logged_trial.h"
#include "kestuctl/output_file.h"
#include "kestuctl/water_chart.h"
#include "trials/message_text.h"

namespace kestu::ctl {

namespace {

// Text on a QImage needs a GUI application; when none runs yet (a program
// that embeds the commands), one is made for the drawing, offscreen.
std::unique_ptr<QGuiApplication> EnsureGuiApplication(std::string& error)
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
    if (QCoreApplication::instance()) {
        error = "drawing needs a QGuiApplication, and this program made a QCoreApplication";
        return nullptr;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kestuctl";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

// The chart as PNG bytes, drawn in memory so that the file is written whole or not at all.
bool EncodePng(const QImage& image, QByteArray& png, std::string& error)
{
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (writer.write(image)) return true;
    error = "the chart cannot be encoded as PNG (" + writer.errorString().toStdString() + ")";
    return false;
}

int RunPlot(const ParsedArgs& args, Console& console)
{
    const std::string logPath = args.Positional(0);
    const auto png = args.Value("--png");
    if (!png || png->empty()) return UsageError(args, console, "missing --png FILE");

    const LoggedTrial trial = ReadLoggedTrial(logPath);
    if (!trial.error.empty()) return Failure(args, console, trial.error);

    // Deadlines from --db, else from the database the log was written beside.
    std::string dbPath = args.Value("--db").value_or("");
    if (dbPath.empty()) {
        const std::filesystem::path beside = std::filesystem::path(logPath).parent_path() / "KESTU.MDB";
        std::error_code ignored;
        if (std::filesystem::is_regular_file(beside, ignored)) dbPath = beside.string();
    }
    std::vector<DeadlineRow> deadlines;
    std::string subtitle = "no deadlines: no database given and no KESTU.MDB beside the log";
    if (!dbPath.empty()) {
        auto tables = LoadScenario(dbPath);
        if (!tables) return Failure(args, console, tables.error());
        deadlines = tables.value().deadline;
        subtitle = "deadlines (diamonds) from " + dbPath;
    }
    subtitle = std::to_string(trial.records.size()) + " records; " + subtitle;

    std::string error;
    const auto app = EnsureGuiApplication(error);
    if (!error.empty()) return Failure(args, console, error);
    const std::string title = "Water in each tank: " + std::filesystem::path(logPath).filename().string();
    const QImage chart = DrawWaterChart(trial.records, deadlines, {ForMessage(title), ForMessage(subtitle)});

    QByteArray bytes;
    if (!EncodePng(chart, bytes, error)) return Failure(args, console, error);
    error = WriteFile(*png, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), console);
    if (!error.empty()) return Failure(args, console, error);
    console.out << *png << "\n";
    return ExitOk;
}

}  // namespace

const Command PlotCommand{
    "plot",
    "plot LOGFILE --png FILE [--db DB]",
    "Draw every tank's water over a trial as a PNG chart.",
    "Draws the trial in LOGFILE into the PNG file FILE: one line per tank\n"
    "through the water of the log's state lines (23 colours, tanks 12..22\n"
    "dashed, and a legend), the clock as mm:ss along the bottom and buckets up\n"
    "the side. Each deadline is a diamond on its tank's line at the deadline's\n"
    "time, with a dashed guide naming the tanks due. Deadlines come from DB, or\n"
    "from KESTU.MDB beside the log when --db is not given; without either the\n"
    "chart has none. Needs no display.\n\n"
    "Example:\n"
    "  kestuctl plot ab12.5 --png ab12.5.png --db KESTU.MDB\n",
    {{"LOGFILE"}, 1, {"--png", "--db"}, {}},
    RunPlot,
};

}  // namespace kestu::ctl
