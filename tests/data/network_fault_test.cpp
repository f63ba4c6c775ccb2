// A lab's network as it fails: a connection that freezes (a proxy that stops
// forwarding while its computer still acknowledges every packet), a seat
// whose network dies, a server restarted under two copies of the program, a
// computer name that could rewrite the connection, a refused password.
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <fstream>
#include <future>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "data/db_experiment_store.h"
#include "data/experiment_db.h"
#include "data/outbox.h"
#include "data/participant_lock.h"
#include "data/server_call_bound.h"
#include "db_fixture.h"
#include "support/child_process.h"
#include "support/own_cluster.h"
#include "support/test_server.h"

namespace kestu::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::ChildProcess;
using testsupport::OwnCluster;

int PortOf(const std::string& url)
{
    const auto at = url.rfind(':');
    return std::atoi(url.c_str() + at + 1);
}

// The same URL with another port.
std::string ViaPort(const std::string& url, int port)
{
    const auto colon = url.rfind(':');
    const auto slash = url.find('/', colon);
    return url.substr(0, colon + 1) + std::to_string(port) + url.substr(slash);
}

// The loopback proxy in front of a server.
class Proxy {
public:
    explicit Proxy(const std::string& url) : process_({KESTU_TCP_PROXY, std::to_string(PortOf(url))})
    {
        const auto line = process_.ReadLine();
        if (line && line->rfind("port ", 0) == 0) url_ = ViaPort(url, std::atoi(line->c_str() + 5));
    }
    const std::string& url() const { return url_; }  // the server, through the proxy
    bool Freeze() { return process_.Ask("freeze") == "frozen"; }
    bool Cut() { return process_.Ask("cut") == "cut"; }

private:
    ChildProcess process_;
    std::string url_;
};

// This test program again, holding a participant until it is killed
// (LockHolder in participant_lock_test.cpp); `prefix` runs it under another
// program (unshare). Its answer: "held" or "refused: ...".
struct Holder {
    Holder(const std::string& location, const std::string& user, std::vector<std::string> prefix = {},
           std::vector<std::string> env = {})
        : process_([&] {
              prefix.insert(prefix.end(), {testsupport::ThisProgram(), "--gtest_filter=LockHolder.*",
                                           "--gtest_also_run_disabled_tests"});
              return prefix;
          }(),
                   [&] {
                       env.insert(env.end(), {"KESTU_HOLD_LOCATION=" + location, "KESTU_HOLD_USER=" + user});
                       return env;
                   }())
    {
        std::optional<std::string> line;
        while ((line = process_.ReadLine()) && line->rfind("held", 0) != 0 && line->rfind("refused", 0) != 0) {
        }
        answer = line.value_or("no answer");
    }
    void Kill() { process_.Kill(); }
    std::string answer;

private:
    ChildProcess process_;
};

void AddKim(const std::string& url)
{
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::StandardScenario).ok());
    ASSERT_TRUE(ExperimentDb::Open(url, OpenMode::ReadWrite).value()->AddParticipant({"kim"}).ok());
}

// How long a read on a socket that hears nothing waits before it ends; none
// when it had not ended after 5 s.
std::optional<Clock::duration> ReadEndsAfter(int fd)
{
    const auto started = Clock::now();
    pollfd watched{fd, POLLIN, 0};
    if (::poll(&watched, 1, 5000) <= 0) return std::nullopt;
    char byte;
    if (::recv(fd, &byte, 1, 0) != 0) return std::nullopt;
    return Clock::now() - started;
}

TEST(NetworkFault, ABoundCutsTheSocketsOfItsOwnThreadOnly)
{
    using namespace dbdetail;
    int mine[2], theirs[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, mine), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, theirs), 0);
    WatchServerSocket("mine", mine[0]);
    std::thread([&] { WatchServerSocket("theirs", theirs[0]); }).join();  // another thread's connection
    {
        const ServerCallBound bound(300ms);
        const ServerCallBound inner(10s);  // changes nothing
        EXPECT_LE(ServerCallBound::Remaining().value(), 300ms);
        const auto ended = ReadEndsAfter(mine[0]);
        ASSERT_TRUE(ended.has_value()) << "the call was not cut";
        EXPECT_GE(*ended, 250ms);
        EXPECT_LT(*ended, 3s);
    }
    EXPECT_FALSE(ServerCallBound::Remaining().has_value());
    pollfd other{theirs[0], POLLIN, 0};
    EXPECT_EQ(::poll(&other, 1, 0), 0) << "another thread's connection was cut";

    // A socket forgotten (its connection dropped) is never touched again.
    int next[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, next), 0);
    WatchServerSocket("next", next[0]);
    ForgetServerSocket("next");
    {
        const ServerCallBound bound(200ms);
        std::this_thread::sleep_for(500ms);
    }
    pollfd kept{next[0], POLLIN, 0};
    EXPECT_EQ(::poll(&kept, 1, 0), 0) << "a forgotten socket was cut";
    ForgetServerSocket("mine");
    ForgetServerSocket("theirs");
    for (int fd : {mine[0], mine[1], theirs[0], theirs[1], next[0], next[1]}) ::close(fd);
}

TEST(NetworkFault, AStoreCallBehindAFrozenConnectionFailsWithinTheBoundAndTheResultsAreKept)
{
    const std::string url = testsupport::NewServerDatabase();
    AddKim(url);
    Proxy proxy(url);
    ASSERT_FALSE(proxy.url().empty()) << "the proxy did not start";
    QTemporaryDir folder;
    const std::string outbox = OutboxPath(folder.path().toStdString());
    const TrialLogCopy log{"kim", 1, "seat", "00:00 START\n", "2024-03-05 14:22:10"};

    // The store lives in a thread of its own (its connection belongs to the
    // thread that made it), so that this one can end the test if it hangs.
    struct Outcome {
        Status claimed = Ok(), frozen = Ok(), stored = Ok(), completed = Ok();
        Clock::duration took{};
    };
    auto run = std::async(std::launch::async, [&] {
        Outcome outcome;
        DbExperimentStore store(proxy.url(), outbox);
        outcome.claimed = store.ClaimTrial(Start("kim", 1)).ok() ? Ok() : Status::Fail("not claimed");
        if (!outcome.claimed) return outcome;
        if (!proxy.Freeze()) outcome.frozen = Status::Fail("the proxy did not freeze");
        const auto started = Clock::now();
        outcome.stored = store.StoreTrialLog(log);
        outcome.took = Clock::now() - started;
        outcome.completed = store.CompleteExperiment({"kim", 1}, End());
        return outcome;
    });
    if (run.wait_for(40s) != std::future_status::ready) {
        proxy.Cut();  // lets the call end so the test can
        run.wait();
        FAIL() << "the call behind the frozen connection had not failed after 40 s";
    }
    const Outcome outcome = run.get();
    ASSERT_TRUE(outcome.claimed.ok());
    ASSERT_TRUE(outcome.frozen.ok()) << outcome.frozen.error();
    const Status& stored = outcome.stored;
    ASSERT_FALSE(stored.ok());
    EXPECT_LT(outcome.took, 20s);
    EXPECT_GT(outcome.took, 5s) << "a slow server is given its time";
    EXPECT_NE(stored.error().find("The study's server cannot be reached"), std::string::npos) << stored.error();
    EXPECT_NE(stored.error().find("kept on this computer"), std::string::npos) << stored.error();
    EXPECT_EQ(stored.error().find("server closed"), std::string::npos) << "libpq's own words: " << stored.error();
    EXPECT_FALSE(outcome.completed.ok());

    const auto kept = ReadOutbox(outbox);
    ASSERT_TRUE(kept.ok()) << kept.error();
    ASSERT_EQ(kept.value().entries.size(), 2u) << "the log, then the results";
    EXPECT_EQ(kept.value().entries[0].log()->Bytes, log.Bytes);
    testsupport::DropServerDatabase(url);
}

TEST(NetworkFault, ASeatWhoseNetworkDiesLetsItsParticipantGoWithinAMinute)
{
    const std::string url = testsupport::NewServerDatabase();
    Proxy proxy(url);
    ASSERT_FALSE(proxy.url().empty()) << "the proxy did not start";
    Holder holder(proxy.url(), "kim");
    ASSERT_EQ(holder.answer, "held");
    ASSERT_FALSE(ParticipantLock::Take(url, "kim").ok()) << "the holder holds kim";
    // A live seat keeps its participant past the server's idle timeout.
    std::this_thread::sleep_for(35s);
    ASSERT_FALSE(ParticipantLock::Take(url, "kim").ok()) << "the live holder lost kim while idle";

    // The network dies, then the seat: its session stays open on the server.
    ASSERT_TRUE(proxy.Freeze());
    holder.Kill();
    const auto cut = Clock::now();
    std::this_thread::sleep_for(2s);
    EXPECT_FALSE(ParticipantLock::Take(url, "kim").ok()) << "the dead seat's session still held kim";
    Result<std::unique_ptr<ParticipantLock>> taken = ParticipantLock::Take(url, "kim");
    while (!taken.ok() && Clock::now() - cut < 65s) {
        std::this_thread::sleep_for(2s);
        taken = ParticipantLock::Take(url, "kim");
    }
    ASSERT_TRUE(taken.ok()) << taken.error();
    EXPECT_LT(Clock::now() - cut, 60s);
    taken = Result<std::unique_ptr<ParticipantLock>>::Fail("given back");
    testsupport::DropServerDatabase(url);
}

// Everything written to standard error while it lives.
class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int file = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
    }
    ~StderrCapture() { Restore(); }
    std::string Text()
    {
        Restore();
        std::stringstream text;
        text << std::ifstream(path_).rdbuf();
        return text.str();
    }

private:
    void Restore()
    {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    QTemporaryDir dir_;
    std::string path_ = dir_.filePath(QStringLiteral("stderr")).toStdString();
    int saved_ = -1;
};

int Count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(NetworkFault, AfterAServerRestartOneCopyHoldsTheParticipantAndTheCountNeverGoesBack)
{
    OwnCluster server;
    const std::string url = server.url();
    ASSERT_FALSE(url.empty()) << "the test cluster did not start (run through ctest)";
    AddKim(url);
    auto first = ParticipantLock::Take(url, "kim");
    ASSERT_TRUE(first.ok()) << first.error();
    ParticipantLock& held = *first.value();
    DbExperimentStore store(url);
    store.beforeClaim = [&held] { return held.Reassert(); };
    ASSERT_TRUE(store.ClaimTrial(Start("kim", 1)).ok());

    // The restart ends every session: the participant is free on the server.
    // While the server is away the store's kept connection fails with one
    // plain sentence; the server's words go to standard error, each on one
    // line with the time, and nothing comes from Qt.
    ASSERT_TRUE(server.Run("halt"));
    {
        StderrCapture capture;
        const Status lost = store.StoreTrialLog({"kim", 1, "seat", "00:00 START\n", "2024-03-05 14:22:10"});
        const std::string printed = capture.Text();
        ASSERT_FALSE(lost.ok());
        EXPECT_EQ(lost.error().find("FATAL"), std::string::npos) << lost.error();
        EXPECT_EQ(lost.error().find('\t'), std::string::npos) << lost.error();
        EXPECT_NE(lost.error().find("the study's server cannot be reached"), std::string::npos) << lost.error();
        EXPECT_EQ(Count(printed, "Unable to free statement"), 0) << printed;
        // (The lock's own connection may notice the server gone meanwhile, on a line of its own.)
        const int lines = Count(printed, "\n") - Count(printed, "the connection that holds User ID");
        EXPECT_GE(lines, 1) << printed;
        EXPECT_LE(lines, 2) << "the lost connection, and at most one try on a new one: " << printed;
        EXPECT_EQ(Count(printed, " kestu: "), Count(printed, "\n")) << printed;
        EXPECT_TRUE(printed.size() > 20 && printed[4] == '-' && printed[13] == ':') << "with the time: " << printed;
    }
    ASSERT_TRUE(server.Run("resume"));

    // The first copy takes kim again before its next claim; a second copy is refused.
    ASSERT_TRUE(store.ClaimTrial(Start("kim", 2)).ok());
    const auto second = ParticipantLock::Take(url, "kim");
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error(), "User ID kim is in use by another Kestu window on this computer.");

    // Another restart, and a second copy comes first: exactly one of the two holds kim.
    ASSERT_TRUE(server.Run("halt"));
    ASSERT_TRUE(server.Run("resume"));
    auto other = ParticipantLock::Take(url, "kim");
    const Status again = held.Reassert();
    EXPECT_NE(other.ok(), again.ok()) << other.error() << " / " << again.error();
    if (other.ok()) {
        EXPECT_NE(again.error().find("User ID kim is in use by another Kestu window on this computer."),
                  std::string::npos)
            << again.error();
        DbExperimentStore refused(url);
        refused.beforeClaim = [&held] { return held.Reassert(); };
        EXPECT_FALSE(refused.ClaimTrial(Start("kim", 3)).ok()) << "no trial starts without the participant";
    }
    auto db = ExperimentDb::Open(url, OpenMode::ReadOnly);
    ASSERT_TRUE(db.ok()) << db.error();
    EXPECT_EQ(db.value()->ReadExperimentRows("kim").value().size(), 2u);
    EXPECT_EQ(db.value()->FindParticipant("kim").value()->TrialNum, "2");
}

TEST(NetworkFault, TheComputersNameNeverChangesTheConnectionAndARefusalNamesIt)
{
    if (std::system("unshare -u true 2>/dev/null") != 0) GTEST_SKIP() << "this user cannot change the host name";
    const std::string url = testsupport::NewServerDatabase();
    const std::string elsewhere = testsupport::NewServerDatabase();
    const std::string otherName = elsewhere.substr(elsewhere.rfind('/') + 1);
    // Qt's driver turns every ';' of the options into a space, so none is
    // tried here; the quote and the backslash must come through as they are.
    const std::string host = "pc dbname=" + otherName + " '\\";
    // This computer holds kim too, in other studies on the same server, taken
    // first: not the holder the refusal names (the server lists every
    // database's locks).
    std::vector<std::string> others{elsewhere};
    for (int i = 0; i < 4; ++i) others.push_back(testsupport::NewServerDatabase());
    std::vector<std::unique_ptr<ParticipantLock>> local;
    for (const std::string& other : others) {
        auto taken = ParticipantLock::Take(other, "kim");
        ASSERT_TRUE(taken.ok()) << taken.error();
        local.push_back(std::move(taken).value());
    }
    Holder holder(url, "kim", {"unshare", "-u"}, {"KESTU_HOLD_HOSTNAME=" + host});
    ASSERT_EQ(holder.answer, "held");
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto refused = ParticipantLock::Take(url, "kim");
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.error(), "User ID kim is in use by another Kestu window on the computer " + host + ".");
    }
    holder.Kill();
    local.clear();
    testsupport::DropServerDatabase(url);
    for (const std::string& other : others) testsupport::DropServerDatabase(other);
}

TEST(NetworkFault, ARefusedPasswordIsARefusedLoginAndNoPasswordIsEverShown)
{
    OwnCluster server;
    const std::string url = server.url();
    ASSERT_FALSE(url.empty()) << "the test cluster did not start (run through ctest)";
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::SchemaOnly).ok());
    ASSERT_TRUE(testsupport::ServerSql(url, "CREATE ROLE pwseat LOGIN PASSWORD 'r1ght'"));
    {
        const std::string hba = server.DataFile("pg_hba.conf");
        std::stringstream old;
        old << std::ifstream(hba).rdbuf();
        std::ofstream(hba) << "host all pwseat 127.0.0.1/32 scram-sha-256\n" << old.str();
    }
    ASSERT_TRUE(testsupport::ServerSql(url, "SELECT pg_reload_conf()"));
    std::this_thread::sleep_for(500ms);
    const std::string seat = "postgresql://pwseat" + url.substr(url.find('@'));

    ::setenv("PGPASSFILE", "/nonexistent/pgpass", 1);
    for (const char* password : {"wr@ng/pass", ""}) {
        if (*password)
            ::setenv("PGPASSWORD", password, 1);
        else
            ::unsetenv("PGPASSWORD");
        const auto opened = ExperimentDb::Open(seat, OpenMode::ReadOnly);
        ASSERT_FALSE(opened.ok());
        EXPECT_NE(opened.error().find("the server refused the login of pwseat"), std::string::npos)
            << opened.error();
        EXPECT_EQ(opened.error().find("cannot be reached"), std::string::npos) << opened.error();
        if (*password) {
            EXPECT_EQ(opened.error().find("wr@ng"), std::string::npos) << opened.error();
        }
    }
    ::setenv("PGPASSWORD", "r1ght", 1);
    const auto right = ExperimentDb::Open(seat, OpenMode::ReadOnly);
    EXPECT_TRUE(right.ok()) << "the right password is let in: " << right.error();
    ::unsetenv("PGPASSWORD");
    ::unsetenv("PGPASSFILE");

    // A server that answers and refuses says why; one that is away says so plainly.
    const auto missing = ExperimentDb::Open(url.substr(0, url.rfind('/') + 1) + "nosuchstudy", OpenMode::ReadOnly);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find("the server refused the connection ("), std::string::npos) << missing.error();
    EXPECT_NE(missing.error().find("\"nosuchstudy\" does not exist)"), std::string::npos) << missing.error();
    EXPECT_EQ(missing.error().find('\n'), std::string::npos) << missing.error();
    ASSERT_TRUE(server.Run("halt"));
    const auto away = ExperimentDb::Open(url, OpenMode::ReadOnly);
    ASSERT_FALSE(away.ok());
    EXPECT_EQ(away.error(), url + ": the study's server cannot be reached");
}

}  // namespace
}  // namespace kestu::testing
