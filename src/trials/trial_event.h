#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/clock_time.h"
#include "engine/switch_status.h"
#include "trials/experiment_store.h"
#include "trials/controls.h"
#include "trials/participant.h"

namespace kestu {

// Which trial an event belongs to.
struct TrialIdentity {
    std::string UserID;
    int TrialNum = 0;  // 0 in Training, which has no number
    SimulatorMode Mode = SimulatorMode::Experiment;
};

// What went wrong in a trial, as facts; the window and the tools word it.
enum class FaultKind {
    PlantNotLoaded,        // the outlet table cannot be read (Reason)
    SetupImpossible,       // the scenario cannot be read or is unsound (Reason)
    LogNotCreated,         // File; Reason; Aside says what stood in the way
    UnclaimedLogSetAside,  // a notice: File moved aside as OtherFile (TrialNum)
    LogNotWritten,         // File; Reason; the trial stopped
    StoreFailed,           // the database could not record the trial (Reason)
    ResultsKept,           // the server is away; results wait in File (the outbox)
    ResultsNotRecorded,    // nowhere to keep them: Unrecorded holds what to write down
    LogCopyNotKept,        // the row has its results, the database no copy of File
    SnapshotNotWritten,    // File; Reason
    SnapshotNotOurs,       // File is not the snapshot this trial saved
    SnapshotUnreadable,    // File; Reason describes what is wrong in it
    ReplayImpossible,      // trial TrialNum's log cannot be replayed (Reason)
};

// Why an unclaimed log could not be set aside before a new log was created.
enum class AsideProblem { None, ClaimUnknown, CannotMove };

// What a participant must write down when a trial's results can be kept nowhere.
struct UnrecordedResults {
    std::string UserID;
    int TrialNum = 0;
    ExperimentResult Result;
    long long MissedBuckets = 0;
};

struct TrialFault {
    FaultKind What = FaultKind::StoreFailed;
    std::string File{};       // the file the fault is about, as the program named it
    std::string Reason{};     // the system's, the database's or a reader's description
    std::string OtherFile{};  // where a file was moved to
    int TrialNum = 0;
    AsideProblem Aside = AsideProblem::None;
    std::string AsideReason{};
    bool TrialStopped = false;
    std::optional<UnrecordedResults> Unrecorded{};
};

// A notice tells the participant something while the trial goes on.
inline bool IsNotice(const TrialFault& fault) { return fault.What == FaultKind::UnclaimedLogSetAside; }

enum class TrialEventKind {
    SetUp,             // a trial (or a replay) is set up and ready to start
    Started,           // its first tick is due
    TickEnded,         // a tick's steps are done
    SwitchClicked,     // Switch on Tank now shows Status
    PumpQueued,        // Switch was promised the pump of a cleaning switch
    PumpCleaning,      // Switch's pump began cleaning
    PumpReleased,      // Switch's cleaning ended and its pump went back or on
    PumpHandedOver,    // Switch received the pump it was promised
    WaterArrived,      // an arrival row's water was added
    DeadlineJudged,    // Tank's deadline: Owed buckets still owed, Missed booked
    SnapshotSaved,
    SnapshotRestored,  // at the press's clock; MissedTotal is the total put back
    Paused,            // a replay paused
    Resumed,           // a replay played on
    StoppedEarly,      // before the end time: How says why
    Ended,             // at the end time
    Fault,             // Fault says what
};

struct TrialEvent {
    TrialEventKind Kind = TrialEventKind::TickEnded;
    TrialIdentity Trial;
    ClockTime Clock;        // the plant's clock
    long long Tick = 0;     // ticks run since the trial was set up
    int Switch = -1;
    int Tank = -1;
    SwitchStatus Status = SwitchStatus::Off;
    long long Owed = 0;
    long long Missed = 0;
    long long MissedTotal = 0;  // buckets missed so far
    RunEnd How = RunEnd::NotEnded;
    ClockTime RestoredTo;   // SnapshotRestored: the clock the snapshot put back
    std::optional<TrialFault> Fault;
    TrialPhase Phase = TrialPhase::Idle;  // the session's phase once the event has happened
    ClockTime End;          // the trial's end time on the plant's clock
};

// A set of event kinds, one bit each.
using TrialEventKinds = std::uint32_t;
constexpr TrialEventKinds KindBit(TrialEventKind kind) { return TrialEventKinds{1} << static_cast<int>(kind); }
inline constexpr TrialEventKinds AllTrialEvents = ~TrialEventKinds{0};

// Receives a trial's events in the order they happen. An observer must not
// act on the trial from inside the call, nor hold the tick up for long. It
// names the kinds it wants; no event is even made that nobody wants.
class TrialObserver {
public:
    virtual ~TrialObserver() = default;
    virtual void OnTrialEvent(const TrialEvent& event) = 0;
    virtual TrialEventKinds Wanted() const { return AllTrialEvents; }
};

// An observer made of a function, for short-lived watchers.
class CallbackObserver : public TrialObserver {
public:
    explicit CallbackObserver(std::function<void(const TrialEvent&)> callback, TrialEventKinds wanted = AllTrialEvents)
        : callback_(std::move(callback)), wanted_(wanted)
    {
    }
    void OnTrialEvent(const TrialEvent& event) override { callback_(event); }
    TrialEventKinds Wanted() const override { return wanted_; }

private:
    std::function<void(const TrialEvent&)> callback_;
    TrialEventKinds wanted_;
};

// Observers by reference; the session tells each, in the order they came,
// the events it wants.
class TrialObservers {
public:
    void Add(TrialObserver* observer)
    {
        list_.push_back(observer);
        wanted_ |= observer->Wanted();
    }
    void Remove(TrialObserver* observer)
    {
        std::erase(list_, observer);
        wanted_ = 0;
        for (const TrialObserver* o : list_) wanted_ |= o->Wanted();
    }
    bool Want(TrialEventKind kind) const { return (wanted_ & KindBit(kind)) != 0; }
    void Tell(const TrialEvent& event) const
    {
        for (TrialObserver* observer : list_)
            if (observer->Wanted() & KindBit(event.Kind)) observer->OnTrialEvent(event);
    }

private:
    std::vector<TrialObserver*> list_;
    TrialEventKinds wanted_ = 0;
};

}  // namespace kestu
