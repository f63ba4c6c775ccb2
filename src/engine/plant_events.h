#pragma once

#include "engine/plant_state.h"

namespace kestu {

// What the engine's operations did to the plant, told as it happens, with
// the plant as it stands at that moment. The trial layer turns these into
// trial events and log records; the engine never asks anything back.
class PlantEvents {
public:
    virtual ~PlantEvents() = default;
    // A click (the participant's or the Random method's) gave a switch this status.
    virtual void SwitchClicked(const PlantState&, int /*switchNum*/, SwitchStatus) {}
    // The pump cycle gave a switch this status: cleaning (its tank ran dry),
    // off (its cleaning ended) or on (a promised pump reached it).
    virtual void PumpChanged(const PlantState&, int /*switchNum*/, SwitchStatus) {}
    // The water of an arrival row has been added.
    virtual void WaterArrived(const PlantState&) {}
};

}  // namespace kestu
