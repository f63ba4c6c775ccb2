// kestuctl serve: the lab page and its event stream show the seats' rows,
// its alarms come from the rows, the trials and their logs, it refuses a
// login that could write the study, guards an address other computers reach
// with a token, and answers bad requests with a 4xx without touching the database.
#include <httplib.h>

#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <thread>

#include "data/seat_status.h"
#include "kestuctl/ctl_fixture.h"
#include "kestuctl/lab_page/lab_board.h"
#include "kestuctl/lab_page/lab_server.h"
#include "kestuctl/lab_page/lab_watch.h"
#include "support/own_cluster.h"
#include "support/test_server.h"

namespace kestu::ctl::testing {
namespace {

using namespace std::chrono_literals;
using lab::LabServer;
using lab::LabWatch;

SeatReport Seat(const std::string& name, const std::string& user, int trial, TrialPhase phase, long long clock,
                long long missed = 0, int outbox = 0)
{
    SeatReport r;
    r.Seat = name;
    r.Version = "test";
    r.UserID = user;
    r.TrialNum = trial;
    r.Phase = phase;
    r.ClockSeconds = clock;
    r.EndSeconds = 480;
    r.MissedBuckets = missed;
    r.OutboxWaiting = outbox;
    return r;
}

void Report(const std::string& db, const std::vector<SeatReport>& seats)
{
    auto open = ExperimentDb::Open(db, OpenMode::ReadWrite);
    ASSERT_TRUE(open.ok()) << open.error();
    for (const SeatReport& s : seats) {
        const Status reported = open.value()->ReportSeat(s);
        ASSERT_TRUE(reported.ok()) << reported.error();
    }
}

QJsonObject Json(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object(); }

QJsonObject SeatIn(const QJsonObject& snapshot, const std::string& name)
{
    for (const QJsonValue& seat : snapshot["seats"].toArray())
        if (seat["seat"].toString().toStdString() == name) return seat.toObject();
    return {};
}

std::vector<std::string> AlarmKinds(const QJsonObject& seat)
{
    std::vector<std::string> kinds;
    for (const QJsonValue& alarm : seat["alarms"].toArray()) kinds.push_back(alarm["kind"].toString().toStdString());
    return kinds;
}

// serve on a database, in-process, on a free loopback port unless told otherwise.
struct Served {
    std::unique_ptr<LabWatch> watch;
    std::unique_ptr<LabServer> server;

    explicit Served(const std::string& db, lab::ServeOptions options = {})
    {
        auto started = LabWatch::Start(db, 100ms);
        EXPECT_TRUE(started.ok()) << started.error();
        if (!started) return;
        watch = std::move(started).value();
        if (options.listen.host == "127.0.0.1") options.listen.port = 0;
        auto listening = LabServer::Start(*watch, options);
        EXPECT_TRUE(listening.ok()) << listening.error();
        if (listening) server = std::move(listening).value();
    }
    httplib::Client Client() const
    {
        httplib::Client client("127.0.0.1", server ? server->port() : 1);
        client.set_url_encode(false);
        client.set_read_timeout(10, 0);
        return client;
    }
    // The first `count` events of a fresh stream, as JSON text.
    std::vector<std::string> Events(std::size_t count, const std::string& query = "") const
    {
        std::vector<std::string> events;
        std::string buffer;
        auto client = Client();
        client.Get(("/events" + query).c_str(), [&](const char* data, size_t size) {
            buffer.append(data, size);
            for (std::size_t end; (end = buffer.find("\n\n")) != std::string::npos;) {
                const std::string event = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                if (event.rfind("data: ", 0) == 0) events.push_back(event.substr(6));
            }
            return events.size() < count;
        });
        return events;
    }
    // Waits until the page's snapshot satisfies `wanted`, up to `limit`.
    QJsonObject Until(const std::function<bool(const QJsonObject&)>& wanted, std::chrono::milliseconds limit = 8000ms) const
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        QJsonObject snapshot;
        do {
            auto res = Client().Get("/snapshot.json");
            if (res && res->status == 200) snapshot = Json(res->body);
            if (wanted(snapshot)) return snapshot;
            std::this_thread::sleep_for(50ms);
        } while (std::chrono::steady_clock::now() < until);
        return snapshot;
    }
};

class ServeTest : public CtlTest {};

// The page, its event stream and the snapshot carry each seat's row, and a
// changed row reaches an open stream without a new request.
TEST_F(ServeTest, ThePageAndItsEventsShowEverySeatAndFollowAChangedRow)
{
    Report(db_, {Seat("lab-01", "ab12", 3, TrialPhase::Running, 95, 4), Seat("lab-02", "cd34", 1, TrialPhase::SetUp, 0)});
    Served served(db_);
    ASSERT_TRUE(served.server);

    auto page = served.Client().Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_TRUE(Has(page->body, "new EventSource('/events'"));
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");

    const auto first = served.Events(1);
    ASSERT_EQ(first.size(), 1u);
    const QJsonObject snapshot = Json(first[0]);
    ASSERT_EQ(snapshot["seats"].toArray().size(), 2);
    const QJsonObject one = SeatIn(snapshot, "lab-01");
    EXPECT_EQ(one["user"].toString(), "ab12");
    EXPECT_EQ(one["trial"].toInt(), 3);
    EXPECT_EQ(one["phase"].toString(), "Running");
    EXPECT_EQ(one["clock"].toInt(), 95);
    EXPECT_EQ(one["end"].toInt(), 480);
    EXPECT_EQ(one["missed"].toInt(), 4);
    EXPECT_EQ(SeatIn(snapshot, "lab-02")["phase"].toString(), "SetUp");
    EXPECT_TRUE(snapshot["answering"].toBool());

    // One stream, kept open, sees lab-02's new phase; at least one event a second.
    std::thread change([&] {
        std::this_thread::sleep_for(300ms);
        Report(db_, {Seat("lab-02", "cd34", 1, TrialPhase::Running, 12, 1)});
    });
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> events;
    std::string buffer;
    bool seen = false;
    served.Client().Get("/events", [&](const char* data, size_t size) {
        buffer.append(data, size);
        for (std::size_t end; (end = buffer.find("\n\n")) != std::string::npos;) {
            events.push_back(buffer.substr(6, end - 6));
            buffer.erase(0, end + 2);
            seen = seen || SeatIn(Json(events.back()), "lab-02")["phase"].toString() == "Running";
        }
        return !seen && std::chrono::steady_clock::now() - start < 8s;
    });
    change.join();
    EXPECT_TRUE(seen);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(static_cast<double>(events.size()), seconds) << "fewer than one event a second";
}

// Each alarm from the rows it is about, and none where the rows are as they should be.
TEST(SeatAlarmsTest, EachAlarmComesFromItsRowAndOnlyFromIt)
{
    auto row = [](const std::string& phase, double reportedAt, int outbox = 0) {
        SeatRow r;
        r.Seat = "s1";
        r.UserID = "ab12";
        r.TrialNum = 2;
        r.Mode = "Experiment";
        r.Phase = phase;
        r.ReportedAt = reportedAt;
        r.OutboxWaiting = outbox;
        return r;
    };
    auto kinds = [](const std::vector<lab::Alarm>& alarms) {
        std::vector<lab::AlarmKind> k;
        for (const auto& a : alarms) k.push_back(a.kind);
        return k;
    };
    using K = lab::AlarmKind;
    lab::TrialsByUser trials;
    lab::EndedSince ended;
    // Silent: only past 10 s, only while Running.
    EXPECT_TRUE(lab::SeatAlarms(row("Running", 990.5), 1000, trials, {}, ended).empty());
    EXPECT_EQ(kinds(lab::SeatAlarms(row("Running", 989.5), 1000, trials, {}, ended)), std::vector<K>{K::Silent});
    EXPECT_TRUE(lab::SeatAlarms(row("SetUp", 900), 1000, trials, {}, ended).empty());
    // Results waiting in an outbox.
    const auto outbox = lab::SeatAlarms(row("SetUp", 999, 2), 1000, trials, {}, ended);
    EXPECT_EQ(kinds(outbox), std::vector<K>{K::OutboxWaiting});
    EXPECT_EQ(outbox[0].text, "2 trials' results wait in the seat's outbox.");
    // Ended without results: only after the grace the seat gets to store them.
    EXPECT_TRUE(lab::SeatAlarms(row("Ended", 1000), 1000, trials, {}, ended).empty());
    EXPECT_TRUE(lab::SeatAlarms(row("Ended", 1004), 1004, trials, {}, ended).empty());
    EXPECT_EQ(kinds(lab::SeatAlarms(row("Ended", 1005), 1005, trials, {}, ended)), std::vector<K>{K::NoResults});
    // ...and not once the row holds them, nor for a Training trial.
    trials["ab12"].push_back({2, "", 10, 7.0, 0.2, 0.3, 0.5});
    EXPECT_TRUE(lab::SeatAlarms(row("Ended", 1010), 1010, trials, {}, ended).empty());
    SeatRow training = row("Ended", 1010);
    training.Mode = "Training";
    training.TrialNum = 0;
    EXPECT_TRUE(lab::SeatAlarms(training, 1030, {}, {}, ended).empty());
    // A last trial that disagrees with its log; one that agrees or was not checked is quiet.
    lab::TrialVerdict verdict{true, true, "MissedBuckets stored 9, replayed 7"};
    const auto disagrees = lab::SeatAlarms(row("SetUp", 1010), 1010, trials, verdict, ended);
    ASSERT_EQ(kinds(disagrees), std::vector<K>{K::LogDisagrees});
    EXPECT_EQ(disagrees[0].text, "Trial 2's row disagrees with its log (MissedBuckets stored 9, replayed 7).");
    EXPECT_TRUE(lab::SeatAlarms(row("SetUp", 1010), 1010, trials, lab::TrialVerdict{true, false, ""}, ended).empty());
    EXPECT_TRUE(lab::SeatAlarms(row("SetUp", 1010), 1010, trials, lab::TrialVerdict{false, true, ""}, ended).empty());
}

// Alarms on a real study: a silent seat, an outbox, a trial ended without
// its row's results, and a participant whose last row was changed after the trial.
TEST_F(ServeTest, TheAlarmsShowOnThePageFromTheStudy)
{
    Ok({"run-trial", db_, "kim", "--seed", "5", "--no-report"});
    Ok({"run-trial", db_, "lee", "--seed", "6", "--no-report"});
    Sql("UPDATE \"Experiments\" SET \"MissedBuckets\" = \"MissedBuckets\" + 3 WHERE \"UserID\" = 'lee'");
    Report(db_, {Seat("lab-01", "kim", 2, TrialPhase::Running, 30), Seat("lab-02", "lee", 1, TrialPhase::SetUp, 0, 0, 1),
                 Seat("lab-03", "kim", 1, TrialPhase::Ended, 480)});
    // lab-01 last reported 30 s ago; lab-04 ended trial 1 of "nora", which has no row.
    Sql("UPDATE \"SeatStatus\" SET \"ReportedAt\" = \"ReportedAt\" - 30 WHERE \"Seat\" = 'lab-01'");
    Report(db_, {Seat("lab-04", "nora", 1, TrialPhase::Ended, 480)});
    Served served(db_);
    ASSERT_TRUE(served.server);
    const QJsonObject snapshot = served.Until([](const QJsonObject& s) { return !AlarmKinds(SeatIn(s, "lab-04")).empty(); });
    EXPECT_EQ(AlarmKinds(SeatIn(snapshot, "lab-01")), std::vector<std::string>{"silent"});
    EXPECT_GE(SeatIn(snapshot, "lab-01")["silentFor"].toInt(), 30);
    EXPECT_EQ(AlarmKinds(SeatIn(snapshot, "lab-02")), (std::vector<std::string>{"outbox", "log-disagrees"}));
    EXPECT_TRUE(AlarmKinds(SeatIn(snapshot, "lab-03")).empty()) << "kim's trial 1 holds its results and agrees";
    EXPECT_EQ(AlarmKinds(SeatIn(snapshot, "lab-04")), std::vector<std::string>{"no-results"});
    EXPECT_EQ(snapshot["alarmCount"].toInt(), 4);
}

// The participants' page lists the trials and links each to its chart and
// CSV, which are made from the stored log as plot and log2csv make them.
TEST_F(ServeTest, EachTrialLinksToItsChartAndItsPerTickCsvFromTheStoredLog)
{
    Ok({"run-trial", db_, "kim", "--seed", "5", "--no-report"});
    const std::string kept = ReadFile(Path("kim.1"));
    ASSERT_TRUE(QFile::remove(Q(Path("kim.1"))));  // served from table TrialLogs, not the file
    Served served(db_);
    ASSERT_TRUE(served.server);
    served.Until([](const QJsonObject& s) { return s["serial"].toInt() > 1; });
    auto list = served.Client().Get("/participants?token=abc");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->status, 200);
    EXPECT_TRUE(Has(list->body, "<h2 id=\"u-kim\">kim</h2>"));
    EXPECT_TRUE(Has(list->body, "<a href=\"/trial/kim/1/plot.png?token=abc\">chart</a>"));
    EXPECT_TRUE(Has(list->body, "<a href=\"/trial/kim/1/ticks.csv?token=abc\">CSV</a>"));
    const std::string missed = testsupport::RawSqlValue(db_, "SELECT \"MissedBuckets\" FROM \"Experiments\"").toString().toStdString();
    EXPECT_TRUE(Has(list->body, "</td><td>" + missed + "</td><td>0."));

    WriteFile(Path("kim.1"), kept);
    const std::string expected = Ok({"log2csv", Path("kim.1"), "--every-tick", "--db", db_});
    auto csv = served.Client().Get("/trial/kim/1/ticks.csv");
    ASSERT_TRUE(csv);
    EXPECT_EQ(csv->status, 200);
    EXPECT_EQ(csv->body, expected);

    auto png = served.Client().Get("/trial/kim/1/plot.png");
    ASSERT_TRUE(png);
    ASSERT_EQ(png->status, 200) << png->body;
    EXPECT_EQ(png->get_header_value("Content-Type"), "image/png");
    const QImage chart = QImage::fromData(QByteArray::fromStdString(png->body), "PNG");
    EXPECT_EQ(chart.size(), QSize(1600, 900));

    auto none = served.Client().Get("/trial/kim/2/plot.png");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->status, 404);
    EXPECT_EQ(none->body, "No log of trial 2 of kim is stored.\n");
}

// Every bad request gets its 4xx and a one-line reason; serve answers as
// before afterwards, and the database file is neither changed nor touched.
TEST_F(ServeTest, BadRequestsGetA4xxAndLeaveTheDatabaseAlone)
{
    Ok({"run-trial", db_, "kim", "--seed", "5", "--no-report"});
    Report(db_, {Seat("lab-01", "kim", 1, TrialPhase::Ended, 480)});
    const std::string before = ReadFile(db_);
    const QDateTime modified = QFileInfo(Q(db_)).lastModified();
    Served served(db_);
    ASSERT_TRUE(served.server);

    const std::string longText(201, 'a');
    struct Bad {
        std::string method, target;
        int status;
    };
    const std::vector<Bad> bad = {
        {"GET", "/nothing-here", 404},
        {"GET", "/trial/kim/1", 404},
        {"GET", "/trial/kim/1/plot.svg", 404},
        {"GET", "/../KESTU.MDB", 400},
        {"GET", "/trial/kim/../../KESTU.MDB", 400},
        {"GET", "/%2e%2e/KESTU.MDB", 400},
        {"GET", "/participants?token=..%2fKESTU.MDB", 400},
        {"GET", "/?token=" + longText, 400},
        {"GET", "/" + longText, 400},
        {"GET", "/?token=%ff%fe", 400},
        {"GET", "/?token=%c0%af", 400},
        {"GET", "/?token=a%0ab", 400},
        {"GET", "/?user=kim", 400},
        {"GET", "/trial/%ff/1/plot.png", 400},
        {"GET", "/trial/kim%27--/1/plot.png", 400},
        {"GET", "/trial/toolongid9/1/plot.png", 400},
        {"GET", "/trial/kim/01/plot.png", 400},
        {"GET", "/trial/kim/+1/plot.png", 400},
        {"GET", "/trial/kim/1e3/plot.png", 400},
        {"GET", "/trial/kim/0/ticks.csv", 400},
        {"GET", "/trial/kim/9999999999/ticks.csv", 400},
        {"GET", "/trial/kim/7/ticks.csv", 404},
        {"POST", "/", 405},
        {"PUT", "/events", 405},
        {"DELETE", "/snapshot.json", 405},
        {"PATCH", "/trial/kim/1/plot.png", 405},
        {"POST", "/nothing-here", 404},
        {"OPTIONS", "/participants", 405},
    };
    for (const Bad& b : bad) {
        httplib::Request req;
        req.method = b.method;
        req.path = b.target;
        if (b.method != "GET") req.body = "x", req.set_header("Content-Type", "text/plain");
        auto res = served.Client().send(req);
        ASSERT_TRUE(res) << b.method << " " << b.target;
        EXPECT_EQ(res->status, b.status) << b.method << " " << b.target << ": " << res->body;
        EXPECT_FALSE(res->body.empty()) << b.target;
        EXPECT_EQ(res->body.find('\n'), res->body.size() - 1) << "not one line: " << res->body;
        if (b.status == 405) {
            EXPECT_EQ(res->get_header_value("Allow"), "GET, HEAD");
        }
    }
    for (const char* good : {"/", "/participants", "/snapshot.json", "/trial/kim/1/ticks.csv"}) {
        auto res = served.Client().Get(good);
        ASSERT_TRUE(res) << good;
        EXPECT_EQ(res->status, 200) << good;
    }
    served.server->Stop();
    served.watch->Stop();
    EXPECT_TRUE(ReadFile(db_) == before);
    EXPECT_EQ(QFileInfo(Q(db_)).lastModified(), modified);
}

// An address other computers reach needs a token, and every request
// without it gets 401; the loopback address needs none.
TEST_F(ServeTest, AnAddressOthersReachNeedsTheToken)
{
    EXPECT_TRUE(lab::IsLoopbackHost("127.0.0.1"));
    EXPECT_TRUE(lab::IsLoopbackHost("127.10.0.3"));
    EXPECT_TRUE(lab::IsLoopbackHost("::1"));
    EXPECT_TRUE(lab::IsLoopbackHost("localhost"));
    for (const char* other : {"0.0.0.0", "::", "192.168.1.20", "127.0.0.1.example.org", "1270.0.0.1", "127.0.0.256", ""})
        EXPECT_FALSE(lab::IsLoopbackHost(other)) << other;

    auto listen = [](const std::string& text) {
        const auto parsed = lab::ParseListen(text);
        return parsed ? parsed.value().host + " " + std::to_string(parsed.value().port) : "refused";
    };
    EXPECT_EQ(listen("127.0.0.1:8081"), "127.0.0.1 8081");
    EXPECT_EQ(listen("0.0.0.0"), "0.0.0.0 8080");
    EXPECT_EQ(listen("[::1]:0"), "::1 0");
    for (const char* bad : {"", ":8080", "::1:8080", "127.0.0.1:", "127.0.0.1:65536", "127.0.0.1:-1", "127.0.0.1:08", "[::1"})
        EXPECT_EQ(listen(bad), "refused") << bad;

    const CommandResult refused = Run({"serve", db_, "--listen", "0.0.0.0:0"});
    EXPECT_EQ(refused.status, ExitFailure);
    EXPECT_TRUE(Has(refused.err, "kestuctl serve: --listen 0.0.0.0 reaches other computers: give --token FILE"));
    WriteFile(Path("short.token"), "abc\n");
    EXPECT_TRUE(Has(Run({"serve", db_, "--listen", "0.0.0.0:0", "--token", Path("short.token")}).err,
                    "its first line must hold a token of 16 to 200 characters"));
    EXPECT_EQ(Run({"serve", db_, "--listen", "0.0.0.0:http"}).status, ExitUsage);

    const std::string token = "s3cret-token-of-the-lab";
    WriteFile(Path("lab.token"), token + "\n");
    ASSERT_EQ(lab::ReadTokenFile(Path("lab.token")).value(), token);
    lab::ServeOptions options;
    options.listen = {"0.0.0.0", 0};
    options.token = token;
    Served served(db_, options);
    ASSERT_TRUE(served.server);
    auto client = served.Client();
    for (const std::string& path : std::vector<std::string>{"/", "/events", "/snapshot.json", "/participants", "/trial/kim/1/plot.png",
                                   "/nothing-here", "/?token=" + token.substr(1), "/?token=" + token + "x"}) {
        auto res = client.Get(path.c_str());
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 401) << path;
        EXPECT_EQ(res->body, "This page needs its token: add ?token=... to the address.\n");
    }
    auto wrongBearer = client.Get("/", {{"Authorization", "Bearer " + token + "-"}});
    EXPECT_EQ(wrongBearer->status, 401);
    auto posted = client.Post("/", "x", "text/plain");
    EXPECT_EQ(posted->status, 401) << "no method is answered without the token";
    EXPECT_EQ(client.Get(("/?token=" + token).c_str())->status, 200);
    EXPECT_EQ(client.Get("/snapshot.json", {{"Authorization", "Bearer " + token}})->status, 200);
    EXPECT_EQ(served.Events(1, "?token=" + token).size(), 1u);
}

// On a server, serve runs only for a login that may read the study and
// nothing more: the owner and a seat are refused, a kestu_monitor member runs.
TEST_F(ServeTest, OnAServerOnlyAReadOnlyLoginMayServe)
{
    const std::string owner = testsupport::NewServerDatabase();
    ASSERT_TRUE(ExperimentDb::Create(owner, NewDbContent::StandardScenario).ok());
    const std::string suffix = std::to_string(::getpid());
    const std::string seat = "serve_seat" + suffix, monitor = "serve_mon" + suffix;
    testsupport::ServerSql(testsupport::TestServerUrl(), "CREATE ROLE " + seat + " LOGIN IN ROLE kestu_seat");
    testsupport::ServerSql(testsupport::TestServerUrl(), "CREATE ROLE " + monitor + " LOGIN IN ROLE kestu_monitor");
    auto as = [&](const std::string& role) { return "postgresql://" + role + owner.substr(owner.find('@')); };

    Report(as(seat), {Seat("lab-07", "ab12", 4, TrialPhase::Running, 200, 3)});
    // Through the watcher, so that a login wrongly let through fails here rather than serving on.
    for (const std::string& login : {owner, as(seat)}) {
        const auto refused = LabWatch::Start(login);
        ASSERT_FALSE(refused.ok()) << login;
        EXPECT_EQ(refused.error(), "this login may change the study; serve only reads it, so it needs a login that may "
                                   "only read (a member of kestu_monitor, which kestuctl init makes)");
    }
    {
        Served served(as(monitor));
        ASSERT_TRUE(served.server);
        const auto events = served.Events(1);
        ASSERT_EQ(events.size(), 1u);
        const QJsonObject seat7 = SeatIn(Json(events[0]), "lab-07");
        EXPECT_EQ(seat7["user"].toString(), "ab12");
        EXPECT_EQ(seat7["trial"].toInt(), 4);
        EXPECT_EQ(seat7["phase"].toString(), "Running");
        EXPECT_EQ(seat7["missed"].toInt(), 3);
    }
    testsupport::DropServerDatabase(owner);
    testsupport::ServerSql(testsupport::TestServerUrl(), "DROP ROLE " + seat);
    testsupport::ServerSql(testsupport::TestServerUrl(), "DROP ROLE " + monitor);
}

// A server that goes away is shown on the page, which keeps answering from
// what it last read, and the page reads the seats again once it is back.
TEST_F(ServeTest, ADatabaseThatGoesAwayIsShownAndReadAgainWhenBack)
{
    testsupport::OwnCluster cluster;
    const std::string url = cluster.url();
    ASSERT_FALSE(url.empty()) << "the test cluster did not start (run through ctest)";
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::StandardScenario).ok());
    ASSERT_TRUE(testsupport::ServerSql(url, "CREATE ROLE watcher LOGIN IN ROLE kestu_monitor"));
    Report(url, {Seat("lab-01", "ab12", 2, TrialPhase::Running, 40)});
    Served served("postgresql://watcher" + url.substr(url.find('@')));
    ASSERT_TRUE(served.server);
    ASSERT_TRUE(served.Until([](const QJsonObject& s) { return s["answering"].toBool(); })["answering"].toBool());

    ASSERT_TRUE(cluster.Run("halt"));
    const QJsonObject down = served.Until([](const QJsonObject& s) { return !s["answering"].toBool(); }, 15000ms);
    EXPECT_FALSE(down["answering"].toBool());
    EXPECT_FALSE(down["notAnsweringSince"].toString().isEmpty());
    EXPECT_FALSE(down["fault"].toString().isEmpty());
    EXPECT_EQ(SeatIn(down, "lab-01")["user"].toString(), "ab12") << "the last seats read stay on the page";
    const auto start = std::chrono::steady_clock::now();
    auto page = served.Client().Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << "the page waited on the database";

    ASSERT_TRUE(cluster.Run("resume"));
    Report(url, {Seat("lab-01", "ab12", 3, TrialPhase::SetUp, 0)});
    const QJsonObject back = served.Until(
        [](const QJsonObject& s) { return s["answering"].toBool() && SeatIn(s, "lab-01")["trial"].toInt() == 3; }, 20000ms);
    EXPECT_TRUE(back["answering"].toBool());
    EXPECT_EQ(SeatIn(back, "lab-01")["trial"].toInt(), 3);
    EXPECT_TRUE(back["notAnsweringSince"].toString().isEmpty());
}

}  // namespace
}  // namespace kestu::ctl::testing
