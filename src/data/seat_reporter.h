#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "data/seat_status.h"
#include "trials/trial_event.h"

namespace kestu {

struct SeatReporterSettings {
    std::string location{};  // the study's database: an SQLite file or a server's URL
    std::string seat{};      // the seat's name in its row
    std::string outboxPath{};  // the seat's outbox, whose waiting entries are counted; empty: none
    std::string version{};   // the program's version; empty: this build's
    // A row is written at most once a period, and at once when the seat's
    // phase, participant, trial or mode changes.
    std::chrono::milliseconds period{1000};
    // Phase changes closer together than this (trials run as fast as the
    // computer can) are written together, the latest state once.
    std::chrono::milliseconds shortestGap{250};
    // How long one report (with its connecting) may take on a server.
    std::chrono::milliseconds callLimit{1500};
    // How long the shutdown may take, the last report included.
    std::chrono::milliseconds shutdownLimit{2000};
    // Told once, the first time a report cannot be written (the database's
    // words); standard error with the time by default.
    std::function<void(const std::string&)> firstFailure{};
};

// Keeps this seat's row of "SeatStatus" up to date from the trial's events.
// The events only update the latest report in memory; a worker thread of
// the reporter's own, with its own connection, writes it. A slow, frozen or
// absent database therefore never holds up a tick: a report that fails is
// tried again at the next period on a fresh connection, quietly.
class SeatReporter : public TrialObserver {
public:
    explicit SeatReporter(SeatReporterSettings settings);
    ~SeatReporter() override;
    SeatReporter(const SeatReporter&) = delete;
    SeatReporter& operator=(const SeatReporter&) = delete;

    void OnTrialEvent(const TrialEvent& event) override;
    TrialEventKinds Wanted() const override;

    // A participant logged in and no trial is set up: the seat is Idle with
    // its User ID (an empty one before anybody logs in).
    void Idle(const std::string& userId);

    // Writes the last report once more, within the shutdown limit, and ends
    // the worker. Called by the destructor too.
    void Stop();

    // What the worker has done so far.
    struct Tally {
        long long written = 0;  // reports written
        long long failed = 0;   // reports that could not be written
    };
    Tally tally() const;
    SeatReport Latest() const;

private:
    void Work();
    void Take(const TrialEvent& event);

    const SeatReporterSettings settings_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    SeatReport latest_;
    bool prompt_ = true;  // a change to write at once; the first report is written at once too
    bool stopping_ = false;
    std::chrono::steady_clock::time_point stopBy_{};
    Tally tally_;
    std::thread worker_;
};

}  // namespace kestu
