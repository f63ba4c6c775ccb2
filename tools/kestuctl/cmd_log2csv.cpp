#include <array>

#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "analysis/csv.h"
#include "kestuctl/load_scenario.h"
#include "kestuctl/output_file.h"
#include "analysis/plain_number.h"
#include "analysis/tick_series.h"
#include "analysis/logged_trial.h"
#include "trials/log_reader.h"

namespace kestu::ctl {

using namespace analysis;

namespace {

std::string MarkWords(const TickRow& row)
{
    std::string words;
    for (const SeriesMark& mark : row.marks) {
        if (!words.empty()) words += ' ';
        words += LogWord(mark.kind);
    }
    return words;
}

// The log's records as they stand, each with its state line.
int WriteRecords(const ParsedArgs& args, Console& console)
{
    const auto log = ReadTrialLog(args.Positional(0));
    if (!log) return Failure(args, console, log.error());
    const auto records = ReadLoggedTrial(log.value());
    if (!records) return Failure(args, console, records.error());

    std::string text;
    AppendCsvRow(text, {"minute", "second", "kind", "switch", "tank", "water"});
    for (const LoggedRecord& r : records.value()) {
        const LoggedRecord* record = &r;
        const std::string minute = std::to_string(record->At.Minutes);
        const std::string second = std::to_string(record->At.Seconds);
        const std::string kind(LogWord(record->Kind));
        const std::string switchNum = std::to_string(record->Switch);
        for (int tank = 0; tank < TankCount; ++tank) {
            AppendCsvRow(text,
                         {minute, second, kind, switchNum, std::to_string(tank), PlainNumber(record->Water[tank])});
        }
    }
    const Status written = WriteOutput(args.Value("--out"), text, console);
    return written ? ExitOk : Failure(args, console, written.error());
}

// The plant of every tick, from a replay through the core.
int WriteEveryTick(const ParsedArgs& args, Console& console)
{
    const std::string logPath = args.Positional(0);
    const auto foundDb = DatabaseForLog(logPath, args.Value("--db"));
    if (!foundDb) return Failure(args, console, NoDatabaseForLog);
    const std::string& dbPath = *foundDb;
    auto tables = LoadScenario(dbPath, console);
    if (!tables) return Failure(args, console, tables.error());
    const auto log = ReadTrialLog(logPath);
    if (!log) return Failure(args, console, log.error());
    const auto series = ReplayTickSeries(tables.value(), log.value());
    if (!series) return Failure(args, console, series.error());
    const Status written = WriteOutput(args.Value("--out"), EveryTickCsv(series.value()), console);
    return written ? ExitOk : Failure(args, console, written.error());
}

int RunLog2Csv(const ParsedArgs& args, Console& console)
{
    if (args.Has("--every-tick")) return WriteEveryTick(args, console);
    if (args.Value("--db")) return UsageError(args, console, "--db is only for --every-tick");
    return WriteRecords(args, console);
}

}  // namespace

std::string EveryTickCsv(const TickSeries& series)
{
    std::string text;
    AppendCsvRow(text, {"tick", "minute", "second", "mark", "tank", "water", "missed"});
    auto judged = series.judged.begin();  // judged tick by tick, as the rows run
    for (const TickRow& row : series.rows) {
        std::array<std::string, TankCount> missed;
        for (; judged != series.judged.end() && judged->tick == row.tick; ++judged)
            missed[judged->tank] = std::to_string(judged->owed);
        const std::string tick = std::to_string(row.tick), minute = std::to_string(row.clock.Minutes),
                          second = std::to_string(row.clock.Seconds), mark = MarkWords(row);
        for (int tank = 0; tank < TankCount; ++tank)
            AppendCsvRow(text,
                         {tick, minute, second, mark, std::to_string(tank), PlainNumber(row.water[tank]), missed[tank]});
    }
    return text;
}

const Command Log2CsvCommand{
    "log2csv",
    "log2csv LOGFILE [--every-tick [--db DB]] [--out FILE]",
    "Write a trial log as a long CSV table for R or pandas.",
    "Columns: minute,second,kind,switch,tank,water. Each record of the log (a\n"
    "switch action or a STOP, FF or FFR mark, with the clock it happened at)\n"
    "gives 23 rows, one per tank, with the tank's water as the state line holds\n"
    "it (one decimal). Without --out, or with --out -, the CSV goes to standard\n"
    "output.\n\n"
    "--every-tick replays the log through the core, as the replay command does,\n"
    "and writes the plant at every tick instead: columns\n"
    "tick,minute,second,mark,tank,water,missed, 23 rows per tick. Tick 0 is the\n"
    "plant right after the setup, tick k the plant at the end of the k-th tick;\n"
    "the ticks count on through a snapshot restore while the clock (minute,\n"
    "second) goes back. mark holds the FF, FFR and STOP records applied in that\n"
    "tick, separated by a space (usually empty); water is the exact value\n"
    "(the shortest decimal that reads back the same); missed holds the buckets\n"
    "still owed when the tank's deadline was judged in that tick (what the\n"
    "results count as missed), and is empty otherwise. A log cut off before\n"
    "the end time with no STOP ends at the tick of its last record. The replay needs the\n"
    "scenario: from DB (a database file or a postgresql:// URL) or, without\n"
    "--db, from KESTU.MDB beside the log; with neither the command fails.\n\n"
    "Example:\n"
    "  kestuctl log2csv ab12.5 --out ab12.5.csv\n"
    "  kestuctl log2csv ab12.5 --every-tick --db KESTU.MDB --out ab12.5-ticks.csv\n"
    "  # in R: d <- read.csv(\"ab12.5.csv\"); d$t <- 60 * d$minute + d$second\n",
    {{"LOGFILE"}, 1, {"--out", "--db"}, {"--every-tick"}},
    RunLog2Csv,
};

}  // namespace kestu::ctl
