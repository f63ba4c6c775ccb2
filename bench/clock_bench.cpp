// The simulation window's tick timer, offscreen, running a real trial with
// the Random method: 400 ticks at 125 ms and 20 ticks at 1937 ms. Prints the
// tick-onset error (how late each tick starts against the run's start plus
// k intervals: mean, standard deviation, worst) and the total drift (the
// last tick's error). Targets on an idle machine: sd under 1 ms, no tick
// more than 5 ms late, drift under 2 ms. For comparison, the same runs are
// then driven by a plain repeating QTimer of Qt's default (coarse) type.
// Last, the tick timer again with the seat's status reporter attached, its
// database a frozen server (it takes the connection and never answers) and
// then one that is not there: the ticks must keep the same timing. Then with
// the trial's LSL markers on: queued, their push only taking them off the
// queue, and with --lsl through the real library's stream (only in a network
// namespace of its own with nothing but lo up: `unshare -n`).
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "data/experiment_db.h"
#include "data/seat_reporter.h"
#include "markers/lsl_library.h"
#include "markers/marker_outlet.h"
#include "ui/frm_simulation.h"

namespace {

struct Errors {
    double mean = 0, sd = 0, worst = 0, drift = 0;
};

enum class Source { TickTimer, DefaultQTimer };

// A server that takes connections and never says a word: a loopback
// socket that listens and never accepts (the kernel completes the handshake).
class FrozenServer {
public:
    FrozenServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 64) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            std::abort();
        port_ = ntohs(address.sin_port);
    }
    ~FrozenServer() { ::close(fd_); }
    std::string url() const { return "postgresql://seat@127.0.0.1:" + std::to_string(port_) + "/study"; }

private:
    int fd_ = -1;
    int port_ = 0;
};

Errors Measure(int interval, int ticks, Source source, const std::string& reportTo = {},
               kestu::TrialObserver* markers = nullptr)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string db = kestu::ExperimentDb::DefaultPath(folder);
    kestu::Participant bench;
    bench.UserID = "clock";
    if (!kestu::ExperimentDb::Create(db, kestu::NewDbContent::StandardScenario) ||
        !kestu::ExperimentDb::Open(db, kestu::OpenMode::ReadWrite).value()->AddParticipant(bench))
        std::abort();
    kestu::ParticipantState participant;
    participant.UserID = "clock";
    kestu::ui::frmSimulation window(participant, db, folder);
    if (!window.Form_Load()) std::abort();
    window.show();
    window.session().trial.ChangeSpeed(interval);
    window.session().decisionChoice = 1;
    std::unique_ptr<kestu::SeatReporter> reporter;
    if (!reportTo.empty()) {
        reporter = std::make_unique<kestu::SeatReporter>(
            kestu::SeatReporterSettings{.location = reportTo, .seat = "bench", .firstFailure = [](const std::string&) {}});
        window.session().observers.Add(reporter.get());
    }
    if (markers) window.session().observers.Add(markers);
    window.session().trial.SetUpTrial();

    // Each tick's onset is taken before the tick's own work.
    QObject::disconnect(&window.Simulator, nullptr, &window, nullptr);
    QElapsedTimer clock;
    std::vector<double> onsets;
    const auto tick = [&] {
        onsets.push_back(clock.nsecsElapsed() / 1e6);
        window.Simulator_Timer();
        if (static_cast<int>(onsets.size()) == ticks) QApplication::quit();
    };
    QTimer plain;
    if (source == Source::TickTimer) {
        QObject::connect(&window.Simulator, &kestu::ui::TickTimer::timeout, &window, tick);
    } else {
        plain.setInterval(interval);
        QObject::connect(&plain, &QTimer::timeout, &window, tick);
    }
    clock.start();
    window.session().trial.StartOrStop();
    if (source == Source::DefaultQTimer) {
        window.Simulator.stop();
        plain.start();
    }
    QApplication::exec();
    window.Simulator.stop();
    plain.stop();
    if (markers) window.session().observers.Remove(markers);
    if (reporter) {
        window.session().observers.Remove(reporter.get());
        if (reporter->tally().written != 0) std::abort();  // the reports must have had nowhere to go
    }

    Errors e;
    std::vector<double> late;
    for (std::size_t k = 0; k < onsets.size(); ++k) late.push_back(onsets[k] - static_cast<double>(k + 1) * interval);
    for (double l : late) e.mean += l / late.size();
    for (double l : late) e.sd += (l - e.mean) * (l - e.mean) / late.size();
    e.sd = std::sqrt(e.sd);
    e.worst = *std::max_element(late.begin(), late.end());
    e.drift = late.back();
    return e;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%-16s %9s %6s %10s %10s %10s %11s\n", "timer", "interval", "ticks", "mean", "sd", "worst",
                "drift");
    for (const auto& [source, name] : {std::pair{Source::TickTimer, "tick timer"},
                                      std::pair{Source::DefaultQTimer, "default QTimer"}}) {
        for (const auto& [interval, ticks] : {std::pair{125, 400}, std::pair{1937, 20}}) {
            const Errors e = Measure(interval, ticks, source);
            std::printf("%-16s %6d ms %6d %7.3f ms %7.3f ms %7.3f ms %8.3f ms\n", name, interval, ticks, e.mean, e.sd,
                        e.worst, e.drift);
        }
    }
    const FrozenServer frozen;
    const std::string absent = "postgresql://seat@127.0.0.1:1/study";
    for (const auto& [to, name] : {std::pair{frozen.url(), "reports: frozen"}, std::pair{absent, "reports: absent"}}) {
        for (const auto& [interval, ticks] : {std::pair{125, 400}, std::pair{1937, 20}}) {
            const Errors e = Measure(interval, ticks, Source::TickTimer, to);
            std::printf("%-16s %6d ms %6d %7.3f ms %7.3f ms %7.3f ms %8.3f ms\n", name, interval, ticks, e.mean, e.sd,
                        e.worst, e.drift);
        }
    }
    const auto print = [](const char* name, int interval, int ticks, const Errors& e) {
        std::printf("%-16s %6d ms %6d %7.3f ms %7.3f ms %7.3f ms %8.3f ms\n", name, interval, ticks, e.mean, e.sd,
                    e.worst, e.drift);
    };
    kestu::markers::MarkerOutlet queued({.now = [] { return 0.0; }, .push = [](const std::string&, double) { return true; }});
    for (const auto& [interval, ticks] : {std::pair{125, 400}, std::pair{1937, 20}})
        print("markers: queued", interval, ticks, Measure(interval, ticks, Source::TickTimer, {}, &queued));
    if (argc > 1 && std::string(argv[1]) == "--lsl") {
        std::string problem;
        if (!kestu::markers::OnlyLoopbackNetwork(problem)) {
            std::fprintf(stderr, "bench_clock: --lsl refused: %s; run it under unshare -n with only lo up\n",
                         problem.c_str());
            return 1;
        }
        std::shared_ptr<const kestu::markers::LslLibrary> library = kestu::markers::LslLibrary::Load(problem);
        auto outlet = library ? kestu::markers::MarkerOutlet::OpenLsl(
                                    library, {.seat = "bench", .version = {}, .participant = "clock", .study = {}}, problem)
                              : nullptr;
        if (!outlet) {
            std::fprintf(stderr, "bench_clock: %s\n", problem.c_str());
            return 1;
        }
        for (const auto& [interval, ticks] : {std::pair{125, 400}, std::pair{1937, 20}})
            print("markers: lsl", interval, ticks, Measure(interval, ticks, Source::TickTimer, {}, outlet.get()));
    }
    return 0;
}
