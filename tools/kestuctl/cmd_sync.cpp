#include "data/outbox.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"

namespace kestu::ctl {

namespace {

int RunSync(const ParsedArgs& args, Console& console)
{
    const std::string database = args.Positional(0);
    const std::string outbox = OutboxPath(args.Positional(1, "."));
    const auto delivery = DeliverOutbox(outbox, database);
    if (!delivery) return Failure(args, console, delivery.error());
    const Delivery& d = delivery.value();
    console.out << outbox << ": " << d.delivered << " delivered, " << d.left << " still kept\n";
    if (d.left > 0) return Failure(args, console, d.problem);
    return ExitOk;
}

}  // namespace

const Command SyncCommand{
    "sync",
    "sync DB [DIR]",
    "Deliver the results a seat kept while the server was away.",
    "A seat whose study database (on a server) could not be reached at the end\n"
    "of a trial keeps the trial's log and results in the file KESTU.OUTBOX of\n"
    "its study folder. The program delivers them when it next starts; this\n"
    "delivers them now, from the outbox in DIR (default: the current folder) to\n"
    "DB, in the order they were kept. What is delivered leaves the outbox; what\n"
    "cannot be stays, with exit status 1. Delivering twice stores nothing twice.\n\n"
    "Example:\n"
    "  kestuctl sync postgresql://kestu@lab-server/study study/\n",
    {{"DB", "DIR"}, 1, {}, {}},
    RunSync,
};

}  // namespace kestu::ctl
