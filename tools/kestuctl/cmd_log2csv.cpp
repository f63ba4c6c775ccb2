#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/csv.h"
#include "kestuctl/output_file.h"
#include "kestuctl/plain_number.h"
#include "trials/log_reader.h"

namespace kestu::ctl {

namespace {

int RunLog2Csv(const ParsedArgs& args, Console& console)
{
    TrialLogReader reader;
    if (const Status opened = reader.Open(args.Positional(0)); !opened) return Failure(args, console, opened.error());

    std::string text;
    AppendCsvRow(text, {"minute", "second", "kind", "switch", "tank", "water"});
    while (const auto record = reader.ReadRecordWithState()) {
        const std::string minute = std::to_string(record->At.Minutes);
        const std::string second = std::to_string(record->At.Seconds);
        const std::string kind(LogWord(record->Kind));
        const std::string switchNum = std::to_string(record->Switch);
        for (int tank = 0; tank < TankCount; ++tank) {
            AppendCsvRow(text,
                         {minute, second, kind, switchNum, std::to_string(tank), PlainNumber(record->Water[tank])});
        }
    }
    if (!reader.Error().empty()) return Failure(args, console, reader.Error());
    const std::string error = WriteOutput(args.Value("--out"), text, console);
    if (!error.empty()) return Failure(args, console, error);
    return ExitOk;
}

}  // namespace

const Command Log2CsvCommand{
    "log2csv",
    "log2csv LOGFILE [--out FILE]",
    "Write a trial log as a long CSV table for R or pandas.",
    "Columns: minute,second,kind,switch,tank,water. Each record of the log (a\n"
    "switch action or a STOP, FF or FFR mark, with the clock it happened at)\n"
    "gives 23 rows, one per tank, with the tank's water as the state line holds\n"
    "it (one decimal). Without --out the CSV goes to standard output.\n\n"
    "Example:\n"
    "  kestuctl log2csv ab12.5 --out ab12.5.csv\n"
    "  # in R: d <- read.csv(\"ab12.5.csv\"); d$t <- 60 * d$minute + d$second\n",
    {{"LOGFILE"}, 1, {"--out"}, {}},
    RunLog2Csv,
};

}  // namespace kestu::ctl
