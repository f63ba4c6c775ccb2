#include "data/outbox.h"
#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/load_scenario.h"

namespace kestu::ctl {

namespace {

int RunSync(const ParsedArgs& args, Console& console)
{
    const std::string database = args.Positional(0);
    SayDatabase(console, database);
    const std::string outbox = OutboxPath(args.Positional(1, "."));
    const auto delivery = DeliverOutbox(outbox, database);
    if (!delivery) return Failure(args, console, delivery.error());
    const Delivery& d = delivery.value();
    console.out << outbox << ": " << d.Summary() << "\n";
    for (const std::string& problem : d.problems) console.err << "kestuctl sync: " << problem << "\n";
    for (const std::string& file : d.waiting) {
        if (file.find(".unread-") != std::string::npos)
            console.err << "kestuctl sync: " << file << " holds a part of an outbox that cannot be read; "
                        << "look at it before you remove it\n";
        else
            console.err << "kestuctl sync: " << file << " holds entries the database refused (its lines starting "
                        << "with # say why); once mended, it is delivered as the KESTU.OUTBOX of a folder of its own\n";
    }
    return d.Complete() ? ExitOk : ExitFailure;
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
    "DB, in the order they were kept. What is delivered leaves the outbox. While\n"
    "the server cannot be reached everything stays. An entry the database\n"
    "refuses is set aside, with its trial's later entries and the reason, in\n"
    "KESTU.OUTBOX.undelivered-<time>; a part of the file that cannot be read is\n"
    "kept in KESTU.OUTBOX.unread-<time>; entries kept for another study stay.\n"
    "The exit status is 0 only when everything was delivered and no such file\n"
    "waits in DIR. Delivering twice stores nothing twice.\n\n"
    "Example:\n"
    "  kestuctl sync postgresql://kestu@lab-server/study study/\n",
    {{"DB", "DIR"}, 1, {}, {}},
    RunSync,
};

}  // namespace kestu::ctl
