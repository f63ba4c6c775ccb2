// A seat's own row of "SeatStatus", written from a thread of its own.

#include "data/seat_reporter.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "data/experiment_db.h"
#include "data/outbox.h"
#include "data/server_call_bound.h"
#include "data/server_fault_report.h"
#include "kestu_version.h"
#include "trials/session_state.h"

namespace kestu {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Below this, a last report is not even tried.
constexpr milliseconds TooShortForAReport{50};

long long Seconds(ClockTime time) { return std::max(0LL, time.TotalSeconds()); }

}  // namespace

SeatReporter::SeatReporter(SeatReporterSettings settings) : settings_(std::move(settings))
{
    latest_.Seat = settings_.seat;
    latest_.Version = settings_.version.empty() ? std::string(KestuVersion) : settings_.version;
    worker_ = std::thread([this] { Work(); });
}

SeatReporter::~SeatReporter() { Stop(); }

TrialEventKinds SeatReporter::Wanted() const
{
    TrialEventKinds kinds = 0;
    for (TrialEventKind kind : {TrialEventKind::SetUp, TrialEventKind::Started, TrialEventKind::TickEnded,
                                TrialEventKind::SnapshotRestored, TrialEventKind::Paused, TrialEventKind::Resumed,
                                TrialEventKind::StoppedEarly, TrialEventKind::Ended, TrialEventKind::Fault})
        kinds |= KindBit(kind);
    return kinds;
}

void SeatReporter::OnTrialEvent(const TrialEvent& event)
{
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const bool waiting = prompt_;
        Take(event);
        wake = prompt_ && !waiting;  // the worker is woken once for a change, not at every tick after it
    }
    if (wake) wake_.notify_one();
}

void SeatReporter::Take(const TrialEvent& event)
{
    SeatReport& r = latest_;
    if (event.Phase != r.Phase || event.Trial.UserID != r.UserID || event.Trial.TrialNum != r.TrialNum ||
        event.Trial.Mode != r.Mode)
        prompt_ = true;
    r.UserID = event.Trial.UserID;
    r.TrialNum = event.Trial.TrialNum;
    r.Mode = event.Trial.Mode;
    r.Phase = event.Phase;
    // A restore is told at the press's clock; the plant goes on from the one put back.
    r.ClockSeconds = Seconds(event.Kind == TrialEventKind::SnapshotRestored ? event.RestoredTo : event.Clock);
    r.EndSeconds = Seconds(event.End);
    r.MissedBuckets = event.MissedTotal;
}

void SeatReporter::Idle(const std::string& userId)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        SeatReport& r = latest_;
        if (r.Phase != TrialPhase::Idle || r.UserID != userId || r.TrialNum != 0) prompt_ = true;
        r.UserID = userId;
        r.TrialNum = 0;
        r.Mode = SimulatorMode::Experiment;
        r.Phase = TrialPhase::Idle;
        r.ClockSeconds = 0;
        r.EndSeconds = 0;
        r.MissedBuckets = 0;
    }
    wake_.notify_one();
}

void SeatReporter::Stop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!stopping_) {
            stopping_ = true;
            stopBy_ = Clock::now() + settings_.shutdownLimit;
        }
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

SeatReporter::Tally SeatReporter::tally() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return tally_;
}

SeatReport SeatReporter::Latest() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

void SeatReporter::Work()
{
    // The data layer's words on a failing server would come at every try; the reporter says once itself.
    const dbdetail::QuietServerFaults quiet;
    std::unique_ptr<ExperimentDb> db;  // this thread's own connection; Qt's belong to the thread that opened them
    bool told = false;
    bool failing = false;  // the last report could not be written
    Clock::time_point due = Clock::now();
    Clock::time_point earliest = due;  // no report before this one, however prompt
    for (;;) {
        SeatReport report;
        bool last = false;
        Clock::time_point stopBy;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_until(lock, due, [this] { return stopping_ || prompt_; });
            if (!stopping_ && Clock::now() < earliest) wake_.wait_until(lock, earliest, [this] { return stopping_; });
            last = stopping_;
            stopBy = stopBy_;
            prompt_ = false;
            report = latest_;
        }
        milliseconds limit = settings_.callLimit;
        if (last) {
            // No last report to a database that was failing: connecting
            // again alone may take longer than a shutdown may.
            const auto left = std::chrono::duration_cast<milliseconds>(stopBy - Clock::now());
            if ((!db && failing) || left < TooShortForAReport) break;
            limit = std::min(limit, left);
        }
        if (!settings_.outboxPath.empty()) {
            // An outbox that cannot be read counts as nothing here; delivering it says why.
            const auto kept = ReadOutbox(settings_.outboxPath);
            report.OutboxWaiting = kept ? static_cast<int>(kept.value().entries.size()) : 0;
        }
        Status written = Ok();
        {
            const dbdetail::ServerCallBound bound(limit);
            if (!db) {
                auto opened = ExperimentDb::Open(settings_.location, OpenMode::ReadWrite);
                if (opened) db = std::move(opened).value();
                else written = opened.fault();
            }
            if (db) written = db->ReportSeat(report);
            if (!written) db.reset();  // a fresh connection at the next try
            failing = !written;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (written) ++tally_.written;
            else ++tally_.failed;
        }
        if (!written && !told) {
            told = true;
            const std::string text = "this seat's status report cannot be written; it is tried again every second: " +
                                     written.error();
            if (settings_.firstFailure) settings_.firstFailure(text);
            else WriteDetailToStandardError(text);
        }
        if (last) break;
        const auto now = Clock::now();
        due = now + settings_.period;
        earliest = now + settings_.shortestGap;
    }
    db.reset();
}

}  // namespace kestu
