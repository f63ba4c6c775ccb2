#include "markers/marker_outlet.h"

#include <chrono>

#include "kestu_version.h"
#include "markers/lsl_library.h"
#include "markers/marker_text.h"

namespace kestu::markers {

namespace {
constexpr std::chrono::milliseconds CloseLinger{1000};
}  // namespace

std::string SourceId(const std::string& seat) { return "kestu@" + seat; }

MarkerOutlet::MarkerOutlet(MarkerSink sink) : sink_(std::move(sink)), worker_([this] { Work(); }) {}

MarkerOutlet::~MarkerOutlet() { Stop(); }

std::unique_ptr<MarkerOutlet> MarkerOutlet::OpenLsl(std::shared_ptr<const LslLibrary> library,
                                                    const MarkerStream& stream, std::string& problem)
{
    const LslApi& lsl = library->api();
    const std::string sourceId = SourceId(stream.seat);
    LslApi::StreamInfo info = lsl.create_streaminfo("Kestu", "Markers", 1, LslApi::IrregularRate,
                                                    LslApi::StringFormat, sourceId.c_str());
    if (!info) {
        problem = "LSL markers are off: " + library->file() + " did not make the stream's description.";
        return nullptr;
    }
    LslApi::Xml desc = lsl.get_desc(info);
    const std::string version = stream.version.empty() ? std::string(KestuVersion) : stream.version;
    lsl.append_child_value(desc, "program", "Kestu");
    lsl.append_child_value(desc, "version", version.c_str());
    lsl.append_child_value(desc, "seat", stream.seat.c_str());
    lsl.append_child_value(desc, "participant", stream.participant.c_str());
    lsl.append_child_value(desc, "study", stream.study.c_str());
    // Markers are sent one by one; a connected recorder that falls behind has
    // up to 360 s of them kept for it.
    LslApi::Outlet outlet = lsl.create_outlet(info, 1, 360);
    lsl.destroy_streaminfo(info);
    if (!outlet) {
        problem = "LSL markers are off: " + library->file() + " did not open the stream " + sourceId + ".";
        return nullptr;
    }
    MarkerSink sink{
        .now = [library] { return library->api().local_clock(); },
        .push =
            [library, outlet](const std::string& text, double stamp) {
                const char* sample[1] = {text.c_str()};
                return library->api().push_sample_strt(outlet, sample, stamp) == 0;
            },
    };
    auto markers = std::make_unique<MarkerOutlet>(std::move(sink));
    markers->close_ = [library, outlet] {
        // The library sends a pushed marker to each recorder on a thread of
        // its own and drops what it has not sent when the stream closes; a
        // recorder connected gets a moment to receive the last ones.
        if (library->api().have_consumers(outlet)) std::this_thread::sleep_for(CloseLinger);
        library->api().destroy_outlet(outlet);
    };
    markers->waitForRecorder_ = [library, outlet](double seconds) {
        return library->api().wait_for_consumers(outlet, seconds) != 0;
    };
    problem.clear();
    return markers;
}

TrialEventKinds MarkerOutlet::Wanted() const { return MarkerKinds(); }

void MarkerOutlet::OnTrialEvent(const TrialEvent& event)
{
    if (event.Trial.Mode == SimulatorMode::Replay) return;  // a replay is no trial of its own
    const double stamp = sink_.now();  // the moment of the event, not of the push
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) return;
        queue_.push_back({event, stamp});
        ++tally_.queued;
    }
    wake_.notify_one();
}

void MarkerOutlet::Work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and everything pushed
        const Queued next = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        const auto text = MarkerText(next.event);
        const bool pushed = !text || sink_.push(*text, next.stamp);
        lock.lock();
        if (text) ++(pushed ? tally_.pushed : tally_.failed);
    }
}

bool MarkerOutlet::WaitForRecorder(double seconds) { return waitForRecorder_ && waitForRecorder_(seconds); }

void MarkerOutlet::Stop()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
    if (close_) {
        close_();
        close_ = nullptr;
    }
}

MarkerOutlet::Tally MarkerOutlet::tally() const
{
    const std::lock_guard lock(mutex_);
    return tally_;
}

}  // namespace kestu::markers
