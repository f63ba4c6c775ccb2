#pragma once

#include "engine/plant_state.h"

namespace kestu {

// Receives every status change made while the trial log is on. The trial log
// implements it; the engine only decides when a record is due.
class SwitchRecordSink {
public:
    virtual ~SwitchRecordSink() = default;
    virtual void WriteSwitchRecord(const PlantState& plant, SwitchStatus status, int switchNum) = 0;
};

}  // namespace kestu
