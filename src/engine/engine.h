#pragma once

#include <vector>

#include "engine/arrivals.h"
#include "engine/display.h"
#include "engine/plant_state.h"
#include "engine/random_source.h"
#include "engine/plant_events.h"

namespace kestu {

// The plant engine: the plant's state and its operations (switches and the
// cleaning queue, the pump cycle, water arrival, the clock, the Random
// method). The trial layer runs them in the tick's order.
class Engine {
public:
    explicit Engine(EngineConstants constants = {});

    PlantState plant;

    void SetDisplay(Display* display) { display_ = display ? display : &nullDisplay_; }
    Display& display() { return *display_; }
    void SetEvents(PlantEvents* events) { events_ = events ? events : &noEvents_; }
    RandomSource& random() { return random_; }
    const EngineConstants& constants() const { return constants_; }

    // Water-arrival schedule and the row still to come.
    void SetArrivals(std::vector<ArrivalRow> rows, std::size_t nextRow);
    const std::vector<ArrivalRow>& Arrivals() const { return arrivals_; }
    std::size_t NextArrivalRow() const { return nextArrival_; }
    void SetNextArrivalRow(std::size_t row) { nextArrival_ = row; }

    // The clock's step of a tick.
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
    void SetCycledStatus(int switchNum, SwitchStatus status);
    bool EligibleForRandom(int tank) const;

    EngineConstants constants_;
    Display nullDisplay_;
    Display* display_ = &nullDisplay_;
    PlantEvents noEvents_;
    PlantEvents* events_ = &noEvents_;
    RandomSource random_;
    std::vector<ArrivalRow> arrivals_;
    std::size_t nextArrival_ = 0;
};

}  // namespace kestu
