#include <signal.h>

#include <iostream>

#include "kestuctl/command.h"
#include "kestuctl/commands.h"
#include "kestuctl/lab_page/lab_server.h"
#include "kestuctl/lab_page/lab_watch.h"
#include "kestuctl/load_scenario.h"

namespace kestu::ctl {

namespace {

int RunServe(const ParsedArgs& args, Console& console)
{
    const std::string location = args.Positional(0);
    lab::ServeOptions options;
    if (const auto listen = args.Value("--listen")) {
        auto parsed = lab::ParseListen(*listen);
        if (!parsed) return UsageError(args, console, parsed.error());
        options.listen = parsed.value();
    }
    if (const auto file = args.Value("--token")) {
        auto token = lab::ReadTokenFile(*file);
        if (!token) return Failure(args, console, token.error());
        options.token = token.value();
    }
    if (!lab::IsLoopbackHost(options.listen.host) && !options.token) {
        return Failure(args, console,
                       "--listen " + options.listen.host +
                           " reaches other computers: give --token FILE as well (or keep the default "
                           "127.0.0.1 and open the page through an ssh tunnel)");
    }

    // SIGINT and SIGTERM end the page; the threads started below inherit the
    // mask, so only this thread takes them.
    sigset_t stopSignals, previous;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
    struct RestoreMask {
        sigset_t mask;
        ~RestoreMask() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{previous};

    SayDatabase(console, location);
    auto watch = lab::LabWatch::Start(location);
    if (!watch) return Failure(args, console, watch.error());
    auto server = lab::LabServer::Start(*watch.value(), options);
    if (!server) return Failure(args, console, server.error());

    const std::string host =
        options.listen.host.find(':') != std::string::npos ? "[" + options.listen.host + "]" : options.listen.host;
    console.out << "kestuctl serve: the lab page is at http://" << host << ":" << server.value()->port() << "/"
                << (options.token ? "?token=... (the token in " + *args.Value("--token") + ")" : std::string())
                << "; Ctrl+C stops it" << std::endl;
    if (!console.out.good()) return ExitFailure;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.value()->Stop();
    watch.value()->Stop();
    console.out << "kestuctl serve: stopped" << std::endl;
    return ExitOk;
}

}  // namespace

const Command ServeCommand{
    "serve",
    "serve DB [--listen HOST:PORT] [--token FILE]",
    "Show the lab's seats live on a web page, with alarms.",
    "Serves the lab page for the experimenter while trials run: one tile per\n"
    "seat (computer, participant, trial, phase, the clock as a bar towards the\n"
    "trial's end, buckets missed so far, seconds since its last report), updated\n"
    "about twice a second without reloading, and alarms that are seen across a\n"
    "room: a seat silent for more than 10 s while its trial runs, results\n"
    "waiting in a seat's outbox, a trial that ended without results, and a\n"
    "participant whose last trial's row disagrees with its log (as rescore\n"
    "checks it). /participants lists each participant's trials with a link to\n"
    "each trial's chart (as plot draws it) and per-tick CSV (as log2csv\n"
    "--every-tick writes it), both made from the log in table TrialLogs.\n\n"
    "DB is only read: an SQLite file is opened read-only; on a server the\n"
    "login must not be able to write the study (a member of kestu_monitor, not\n"
    "the study's owner nor a seat), or serve says so and exits with status 1.\n"
    "A database that stops answering is shown on the page, and serve keeps\n"
    "trying to reach it.\n\n"
    "The page listens on 127.0.0.1:8080 unless --listen names another address\n"
    "(port 0: any free port, printed at the start). An address other computers\n"
    "reach needs --token FILE: the first line of FILE (16 to 200 printable\n"
    "characters) must then come with every request, as ?token=... in the\n"
    "address or an \"Authorization: Bearer ...\" header; without it the answer\n"
    "is 401. Ctrl+C (or SIGTERM) stops serve.\n\n"
    "Example:\n"
    "  kestuctl serve KESTU.MDB\n"
    "  kestuctl serve postgresql://watcher@labserver/study --listen 0.0.0.0:8080 --token lab.token\n",
    {{"DB"}, 1, {"--listen", "--token"}, {}},
    RunServe,
};

}  // namespace kestu::ctl
