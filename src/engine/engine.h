#pragma once

#include <functional>
#include <vector>

#include "engine/arrivals.h"
#include "engine/display.h"
#include "engine/plant_state.h"
#include "engine/random_source.h"
#include "engine/switch_record_sink.h"

namespace kestu {

// Where the tick lets the host run pending events: after the water arrival,
// after the deadline checkpoint, after the replay step.
enum class YieldPoint { AfterArrival = 1, AfterCheckpoint = 2, AfterReplay = 3 };

// Steps of the tick owned by the layers above the engine.
struct TickHooks {
    std::function<void(YieldPoint)> yield;
    std::function<void()> deadlineCheckpoint;
    std::function<void()> replayStep;
    std::function<void(bool running)> timerChanged;
};

// The plant engine: state, the tick, switches and the cleaning queue, the pump
// cycle, water arrival and the Random method.
class Engine {
public:
    explicit Engine(EngineConstants constants = {});

    PlantState plant;
    TickHooks hooks;

    void SetDisplay(Display* display) { display_ = display ? display : &nullDisplay_; }
    Display& display() { return *display_; }
    void SetRecordSink(SwitchRecordSink* sink) { sink_ = sink; }
    RandomSource& random() { return random_; }
    const EngineConstants& constants() const { return constants_; }

    // The timer that drives the ticks; the engine only reads it in the tick.
    bool TimerRunning() const { return timerRunning_; }
    void SetTimerRunning(bool running);

    // Water-arrival schedule and the row still to come.
    void SetArrivals(std::vector<ArrivalRow> rows, std::size_t nextRow);
    const std::vector<ArrivalRow>& Arrivals() const { return arrivals_; }
    std::size_t NextArrivalRow() const { return nextArrival_; }
    void SetNextArrivalRow(std::size_t row) { nextArrival_ = row; }

    // The tick and the clock.
    void Simulate();
    void NextSimTime();

    // Switches and pumps.
    SwitchStatus GetSwitchStatus(int switchNum) const { return plant.Status[switchNum]; }
    // Shows a switch's new status; never recorded in the trial log.
    void SetSwitchStatus(int switchNum, SwitchStatus status);
    void Switch_Click(int index);
    void PumpsInUse_Display();
    void PumpCycle();
    void AutoAddWater();
    void RandomDecision();

    // The cleaning queue, oldest first.
    void ResetCleaningQueue();
    void EnqueueCleaning(int switchNum);
    int DequeueCleaning();
    void RemoveFromCleaningQueue(int switchNum);

private:
    void SetClickedStatus(int switchNum, SwitchStatus status);
    bool EligibleForRandom(int tank) const;

    EngineConstants constants_;
    Display nullDisplay_;
    Display* display_ = &nullDisplay_;
    SwitchRecordSink* sink_ = nullptr;
    RandomSource random_;
    bool timerRunning_ = false;
    std::vector<ArrivalRow> arrivals_;
    std::size_t nextArrival_ = 0;
};

}  // namespace kestu
