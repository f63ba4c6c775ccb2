#pragma once

// The one thread that talks to the database for the lab page: it polls the
// seats' rows about twice a second, the participants' trials less often,
// checks each seated participant's last trial against its log, and
// publishes what it read as an immutable LabSnapshot. A request never waits
// on the database for the page or its events; only a plot or a CSV, which
// need a trial's log, ask this thread for it.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/result.h"
#include "kestuctl/lab_page/lab_board.h"
#include "scenario/scenario_tables.h"
#include "trials/log_reader.h"

namespace kestu {
class ExperimentDb;
}

namespace kestu::lab {

class LabWatch {
public:
    // Opens the database read-only in the watching thread and starts polling.
    // Fails, with the reason, when it cannot be opened or when the login may
    // change the study (the page must only be able to read it).
    static Result<std::unique_ptr<LabWatch>> Start(const std::string& location,
                                                   std::chrono::milliseconds interval = std::chrono::milliseconds(500));
    ~LabWatch();
    LabWatch(const LabWatch&) = delete;
    LabWatch& operator=(const LabWatch&) = delete;

    // The latest snapshot; never null once started.
    std::shared_ptr<const LabSnapshot> Current() const;
    // A snapshot newer than `serial`, or the current one after `timeout`.
    std::shared_ptr<const LabSnapshot> WaitNewer(long long serial, std::chrono::milliseconds timeout) const;
    // The scenario read when the database was opened.
    std::shared_ptr<const ScenarioTables> Scenario() const;
    // A trial's log as table "TrialLogs" holds it, read by the watching
    // thread; nothing when none is stored. Fails when the database does not
    // answer within `timeout`.
    Result<std::optional<TrialLogText>> FetchLog(const std::string& userId, long long trial,
                                                 std::chrono::milliseconds timeout);
    // Ends the watching thread; Current() stays readable.
    void Stop();

private:
    explicit LabWatch(std::string location, std::chrono::milliseconds interval);
    struct LogJob {
        std::string userId;
        long long trial = 0;
        std::promise<Result<std::optional<TrialLogText>>> done;
    };
    struct CachedVerdict {
        std::string fingerprint;  // the row's figures when it was checked
        TrialVerdict verdict;
        std::chrono::steady_clock::time_point retryAfter;  // when no log was found yet
    };

    void Run(std::promise<Status>& opened);
    Status Connect();
    void Poll();
    void ServeJobs();
    void Publish(std::shared_ptr<LabSnapshot> next);
    std::optional<TrialVerdict> LastVerdict(const std::string& userId);

    const std::string location_;
    const std::chrono::milliseconds interval_;
    std::thread thread_;

    mutable std::mutex mutex_;  // guards current_, jobs_, stop_
    mutable std::condition_variable changed_;  // a new snapshot
    std::condition_variable wake_;             // a job or the stop
    std::shared_ptr<const LabSnapshot> current_;
    std::shared_ptr<const ScenarioTables> scenario_;
    std::deque<std::shared_ptr<LogJob>> jobs_;
    bool stop_ = false;

    // Only the watching thread touches these.
    std::unique_ptr<ExperimentDb> db_;
    long long polls_ = 0;
    long long serial_ = 0;
    TrialsByUser trials_;
    std::vector<std::string> userOrder_;
    EndedSince endedSince_;
    std::map<std::pair<std::string, long long>, CachedVerdict> verdicts_;
    std::optional<std::string> downSince_;
};

}  // namespace kestu::lab
