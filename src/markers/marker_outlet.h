#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "trials/trial_event.h"

namespace kestu::markers {

class LslLibrary;

// Where the markers go: the clock they are stamped with at the event, and
// the push of one marker with its stamp (called off the tick's path).
struct MarkerSink {
    std::function<double()> now;
    std::function<bool(const std::string& text, double stamp)> push;
};

// What the stream tells a recorder about this seat.
struct MarkerStream {
    std::string seat;         // the seat's name, as on the lab page; the source ID is "kestu@" + seat
    std::string version;      // the program's version; empty: this build's
    std::string participant;  // the User ID logged in
    std::string study;        // the study's identity (StudyInfo), empty when it has none
};

// The stream's source ID: stable across restarts, one per seat.
std::string SourceId(const std::string& seat);

// A TrialObserver that sends each marker of a trial (MarkerText) to a sink.
// At the event it only stamps the time and queues the event; a thread of its
// own writes the text and pushes it, so a slow push never holds up a tick.
// A replay's events send nothing.
class MarkerOutlet : public TrialObserver {
public:
    explicit MarkerOutlet(MarkerSink sink);
    ~MarkerOutlet() override;
    MarkerOutlet(const MarkerOutlet&) = delete;
    MarkerOutlet& operator=(const MarkerOutlet&) = delete;

    // The seat's LSL stream on the loaded library: type "Markers", one
    // string channel, irregular rate, name "Kestu". Nothing, with `problem`
    // saying why, when the library will not make it.
    static std::unique_ptr<MarkerOutlet> OpenLsl(std::shared_ptr<const LslLibrary> library,
                                                 const MarkerStream& stream, std::string& problem);

    void OnTrialEvent(const TrialEvent& event) override;
    TrialEventKinds Wanted() const override;

    // Waits up to `seconds` for a recorder to connect to the stream; false
    // when none did (a stream of no library: at once).
    bool WaitForRecorder(double seconds);

    // Pushes what is queued and ends the thread, then closes the stream (a
    // second later when a recorder is connected, for it to receive the last
    // markers). Called by the destructor too.
    void Stop();

    struct Tally {
        long long queued = 0;
        long long pushed = 0;
        long long failed = 0;  // pushes the sink refused
    };
    Tally tally() const;

private:
    struct Queued {
        TrialEvent event;
        double stamp = 0;
    };
    void Work();

    MarkerSink sink_;
    std::function<void()> close_;  // the stream's own end, after the last push
    std::function<bool(double)> waitForRecorder_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Queued> queue_;
    bool stopping_ = false;
    Tally tally_;
    std::thread worker_;
};

}  // namespace kestu::markers
