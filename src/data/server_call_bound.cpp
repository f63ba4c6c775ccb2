#include "data/server_call_bound.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/socket.h>

#include "data/server_fault_report.h"

namespace kestu::dbdetail {

namespace {

using Clock = std::chrono::steady_clock;

struct Socket {
    std::thread::id owner;
    int fd = -1;
};

struct Bound {
    Clock::time_point deadline;
    std::chrono::milliseconds limit{0};
    bool fired = false;
};

// One thread for the whole process sleeps until the nearest deadline. A
// socket is shut down only while it is registered and under the mutex, and
// Drop forgets it (under the same mutex) before Qt closes it, so a number
// the system has given to another file is never touched.
class Watchdog {
public:
    ~Watchdog()
    {
        {
            std::lock_guard hold(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (worker_.joinable()) worker_.join();
    }

    void Watch(const std::string& connection, int fd)
    {
        std::lock_guard hold(mutex_);
        sockets_[connection] = Socket{std::this_thread::get_id(), fd};
    }

    void Forget(const std::string& connection)
    {
        std::lock_guard hold(mutex_);
        sockets_.erase(connection);
    }

    bool Arm(std::chrono::milliseconds limit)
    {
        std::lock_guard hold(mutex_);
        const auto [at, added] = bounds_.try_emplace(std::this_thread::get_id(), Bound{Clock::now() + limit, limit});
        if (!added) return false;
        if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
        wake_.notify_all();
        return true;
    }

    void Disarm()
    {
        std::lock_guard hold(mutex_);
        bounds_.erase(std::this_thread::get_id());
    }

    std::optional<std::chrono::milliseconds> Remaining()
    {
        std::lock_guard hold(mutex_);
        const auto found = bounds_.find(std::this_thread::get_id());
        if (found == bounds_.end()) return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(found->second.deadline - Clock::now());
        return left.count() > 0 ? left : std::chrono::milliseconds(0);
    }

private:
    void Run()
    {
        std::unique_lock hold(mutex_);
        while (!stopping_) {
            std::optional<Clock::time_point> next;
            for (const auto& [thread, bound] : bounds_)
                if (!bound.fired && (!next || bound.deadline < *next)) next = bound.deadline;
            if (!next) {
                wake_.wait(hold);
                continue;
            }
            if (wake_.wait_until(hold, *next) != std::cv_status::timeout && Clock::now() < *next) continue;
            const auto now = Clock::now();
            for (auto& [thread, bound] : bounds_) {
                if (bound.fired || bound.deadline > now) continue;
                bound.fired = true;
                int cut = 0;
                for (const auto& [name, socket] : sockets_) {
                    if (socket.owner != thread) continue;
                    ::shutdown(socket.fd, SHUT_RDWR);
                    ++cut;
                }
                if (cut > 0)
                    ReportServerFault("the database server did not answer within " +
                                      std::to_string(bound.limit.count() / 1000) + " s; its connection was closed",
                                      thread);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, Socket> sockets_;
    std::map<std::thread::id, Bound> bounds_;
    bool stopping_ = false;
    std::thread worker_;
};

Watchdog& TheWatchdog()
{
    static Watchdog watchdog;
    return watchdog;
}

}  // namespace

void WatchServerSocket(const std::string& connection, int socket)
{
    if (socket >= 0) TheWatchdog().Watch(connection, socket);
}

void ForgetServerSocket(const std::string& connection) { TheWatchdog().Forget(connection); }

ServerCallBound::ServerCallBound(std::chrono::milliseconds limit) : outer_(TheWatchdog().Arm(limit)) {}

ServerCallBound::~ServerCallBound()
{
    if (outer_) TheWatchdog().Disarm();
}

std::optional<std::chrono::milliseconds> ServerCallBound::Remaining() { return TheWatchdog().Remaining(); }

}  // namespace kestu::dbdetail
