#include "trials/trial_session.h"

#include <limits>
#include <utility>

namespace kestu {

namespace {

// The whole plant as it stands: tanks, pipes, lamps, the clock and the
// pumps figure. Drawing changes nothing of the plant.
void DrawPlant(const PlantState& p, Display& display)
{
    for (int t = 0; t < TankCount; ++t) {
        display.FillTank(t, WholeBuckets(p.Tanks[t].Water));
        display.PipeWater(t, p.Status[2 * t] == SwitchStatus::On || p.Status[2 * t + 1] == SwitchStatus::On);
    }
    for (int s = 0; s < SwitchCount; ++s) display.ShowSwitchStatus(s, p.Status[s]);
    display.ShowClock(p.Clock);
    display.ShowPumpsInUse(p.PumpsInUseShown);
}

}  // namespace

template <typename Reached>
std::optional<long long> TrialSession::SeekReplayUntil(Reached reached)
{
    if (!participant.ReplayMode || !replay.Loaded()) return std::nullopt;
    const bool wasTicking = Ticking();
    const bool playing = phase == TrialPhase::ReplayPlaying;
    // Unseen and unheard: no drawing, no timer, no yields, no refresh.
    SessionHost quiet;
    quiet.detail = host.detail;
    quiet.now = host.now;
    SessionHost shown = std::exchange(host, quiet);
    Display& display = engine.display();
    engine.SetDisplay(nullptr);

    replay.Rewind();
    bool found = reached();
    if (!found && phase == TrialPhase::ReplayLoaded) {
        SetPhase(TrialPhase::ReplayPlaying);
        while (!found && phase == TrialPhase::ReplayPlaying) {
            Tick();
            found = reached();
        }
    }
    if (phase != TrialPhase::ReplayEnded) SetPhase(playing ? TrialPhase::ReplayPlaying : TrialPhase::ReplayPaused);
    if (phase == TrialPhase::ReplayPaused && ticksLived == 0) SetPhase(TrialPhase::ReplayLoaded);

    host = std::move(shown);
    engine.SetDisplay(&display);
    DrawPlant(engine.plant, display);
    if (Ticking() != wasTicking && host.timerChanged) host.timerChanged(Ticking());
    if (Ticking() && host.restartTimer) host.restartTimer();
    Notify();
    if (!found && phase != TrialPhase::ReplayEnded) return std::nullopt;
    return ticksLived;
}

std::optional<long long> TrialSession::SeekReplay(long long tick)
{
    return SeekReplayUntil([&] { return ticksLived >= tick; });
}

std::optional<long long> TrialSession::SeekReplayToClock(ClockTime clock)
{
    auto reached = SeekReplayUntil([&] { return ClockTime{engine.plant.Clock} == clock; });
    if (reached && ClockTime{engine.plant.Clock} != clock) return std::nullopt;
    return reached;
}

TrialSession::ReplayStory TrialSession::ReplayToEnd() const
{
    if (!participant.ReplayMode || !replay.Loaded()) return {};
    MemoryStore tables(trial.SetUpTables());
    ParticipantState watcher = participant;
    TrialSession unseen(watcher, tables, std::string(), engine.constants());
    ReplayStory story;
    CallbackObserver record([&](const TrialEvent& event) { story.events.push_back(event); },
                            AllTrialEvents & ~KindBit(TrialEventKind::TickEnded) & ~KindBit(TrialEventKind::Fault));
    if (unseen.trial.LoadPlant()) unseen.replay.LoadReader(replay.LoadedLog(), replay.LoadedTrial());
    unseen.observers.Add(&record);  // the seek plays from the setup again
    unseen.SeekReplay(std::numeric_limits<long long>::max());
    unseen.observers.Remove(&record);
    story.ticks = unseen.ticksLived;
    return story;
}

}  // namespace kestu
