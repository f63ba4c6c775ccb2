// The lab page under a busy lab: 32 seats (threads, each with its own
// connection) report their rows to a PostgreSQL study about once a second
// while kestuctl serve's page is fetched again and again and fresh event
// streams are opened. Prints the 50th and 99th percentile of a page's
// answer and of a stream's first event. Target: both 99th percentiles
// under 100 ms. Starts a throw-away cluster of its own (tests/support/pg_cluster.sh).
#include <httplib.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "data/database_location.h"
#include "data/experiment_db.h"
#include "data/seat_status.h"
#include "kestuctl/lab_page/lab_server.h"
#include "kestuctl/lab_page/lab_watch.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double share)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()))];
}

bool AdminSql(const std::string& url, const std::string& statement)
{
    bool ok = false;
    {
        const auto where = kestu::ParseDatabaseLocation(url);
        if (!where.ok() || !where.value().server) return false;
        const kestu::ServerAddress& s = *where.value().server;
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench-admin"));
        db.setHostName(QString::fromStdString(s.host));
        db.setPort(s.port);
        db.setUserName(QString::fromStdString(s.user));
        db.setDatabaseName(QString::fromStdString(s.database));
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(QString::fromStdString(statement));
            if (!ok) std::fprintf(stderr, "%s: %s\n", statement.c_str(), query.lastError().text().toUtf8().constData());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    constexpr int Seats = 32, PageClients = 4, StreamClients = 4;
    QTemporaryDir cluster;
    const std::string state = cluster.path().toStdString() + "/pg";
    const std::string script = KESTU_PG_SCRIPT;
    if (std::system(("bash '" + script + "' start '" + state + "' >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "bench_serve: the PostgreSQL server cannot be started\n");
        return 1;
    }
    std::string url;
    std::getline(std::ifstream(state + "/url"), url);
    int status = 1;
    [&] {
        if (!kestu::ExperimentDb::Create(url, kestu::NewDbContent::StandardScenario).ok()) return;
        if (!AdminSql(url, "CREATE ROLE bench_watcher LOGIN IN ROLE kestu_monitor")) return;
        const std::string watcher = "postgresql://bench_watcher" + url.substr(url.find('@'));

        std::atomic<bool> done{false};
        std::atomic<int> reports{0}, failedReports{0};
        std::vector<std::thread> seats;
        for (int s = 0; s < Seats; ++s) {
            seats.emplace_back([&, s] {
                auto db = kestu::ExperimentDb::Open(url, kestu::OpenMode::ReadWrite);
                if (!db) {
                    ++failedReports;
                    return;
                }
                kestu::SeatReport r;
                r.Seat = "lab-" + std::to_string(100 + s).substr(1);
                r.Version = "bench";
                r.UserID = "p" + std::to_string(s);
                r.TrialNum = 1;
                r.Phase = kestu::TrialPhase::Running;
                r.EndSeconds = 480;
                std::this_thread::sleep_for(std::chrono::milliseconds(31 * s));  // spread over the second
                while (!done) {
                    r.ClockSeconds = (r.ClockSeconds + 1) % 480;
                    if (db.value()->ReportSeat(r).ok()) ++reports;
                    else ++failedReports;
                    std::this_thread::sleep_for(1s);
                }
            });
        }
        std::this_thread::sleep_for(1500ms);
        auto watch = kestu::lab::LabWatch::Start(watcher);
        if (!watch) {
            std::fprintf(stderr, "bench_serve: %s\n", watch.error().c_str());
            done = true;
            for (auto& t : seats) t.join();
            return;
        }
        kestu::lab::ServeOptions options;
        options.listen = {"127.0.0.1", 0};
        auto server = kestu::lab::LabServer::Start(*watch.value(), options);
        if (!server) {
            std::fprintf(stderr, "bench_serve: %s\n", server.error().c_str());
            done = true;
            for (auto& t : seats) t.join();
            return;
        }
        const int port = server.value()->port();

        std::mutex merge;
        std::vector<double> pages, firstEvents;
        std::atomic<int> failedRequests{0};
        std::vector<std::thread> clients;
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        for (int c = 0; c < PageClients; ++c) {
            clients.emplace_back([&] {
                httplib::Client client("127.0.0.1", port);
                std::vector<double> mine;
                while (Clock::now() < until) {
                    const auto start = Clock::now();
                    auto res = client.Get("/");
                    if (!res || res->status != 200) ++failedRequests;
                    else mine.push_back(Ms(Clock::now() - start));
                    std::this_thread::sleep_for(20ms);
                }
                std::lock_guard<std::mutex> lock(merge);
                pages.insert(pages.end(), mine.begin(), mine.end());
            });
        }
        for (int c = 0; c < StreamClients; ++c) {
            clients.emplace_back([&] {
                std::vector<double> mine;
                while (Clock::now() < until) {
                    httplib::Client client("127.0.0.1", port);
                    const auto start = Clock::now();
                    bool got = false;
                    client.Get("/events", [&](const char* data, size_t size) {
                        if (std::string(data, size).find("\n\n") != std::string::npos) {
                            mine.push_back(Ms(Clock::now() - start));
                            got = true;
                            return false;
                        }
                        return true;
                    });
                    if (!got) ++failedRequests;
                    std::this_thread::sleep_for(50ms);
                }
                std::lock_guard<std::mutex> lock(merge);
                firstEvents.insert(firstEvents.end(), mine.begin(), mine.end());
            });
        }
        for (auto& t : clients) t.join();
        const auto last = watch.value()->Current();
        done = true;
        for (auto& t : seats) t.join();
        server.value()->Stop();
        watch.value()->Stop();

        std::printf("%d seats reporting: %d reports (%.1f/s), %d failed; the page saw %zu seats\n", Seats, reports.load(),
                    reports.load() / (seconds + 1.5), failedReports.load(), last->seats.size());
        std::printf("%-14s %8s %10s %10s\n", "request", "count", "p50", "p99");
        std::printf("%-14s %8zu %7.2f ms %7.2f ms\n", "GET /", pages.size(), Percentile(pages, 0.5), Percentile(pages, 0.99));
        std::printf("%-14s %8zu %7.2f ms %7.2f ms\n", "/events first", firstEvents.size(), Percentile(firstEvents, 0.5),
                    Percentile(firstEvents, 0.99));
        if (failedRequests) std::printf("%d requests failed\n", failedRequests.load());
        status = failedRequests == 0 && failedReports == 0 && last->seats.size() == Seats ? 0 : 1;
    }();
    std::system(("bash '" + script + "' stop '" + state + "' >/dev/null").c_str());
    return status;
}
