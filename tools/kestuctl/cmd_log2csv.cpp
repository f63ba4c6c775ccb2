#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/csv.h"
#include "kestuctl/logged_trial.h"
#include "kestuctl/output_file.h"
#include "kestuctl/plain_number.h"

namespace kestu::ctl {

namespace {

int RunLog2Csv(const ParsedArgs& args, Console& console)
{
    const LoggedTrial trial = ReadLoggedTrial(args.Positional(0));
    if (!trial.error.empty()) return Failure(args, console, trial.error);

    std::string text;
    AppendCsvRow(text, {"minute", "second", "kind", "switch", "tank", "water"});
    for (const LoggedRecord& record : trial.records) {
        const std::string minute = std::to_string(record.minute);
        const std::string second = std::to_string(record.second);
        const std::string switchNum = std::to_string(record.switchNum);
        for (int tank = 0; tank < TankCount; ++tank) {
            AppendCsvRow(text, {minute, second, record.kind, switchNum, std::to_string(tank),
                                PlainNumber(record.water[tank])});
        }
    }
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
