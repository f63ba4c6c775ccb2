#pragma once

#include "engine/clock_time.h"
#include "engine/switch_status.h"

namespace kestu {

// What the participant sees. The window implements it; headless runs use this
// do-nothing base (or a recorder in tests).
class Display {
public:
    virtual ~Display() = default;
    virtual void FillTank(int /*num*/, long long /*amount*/) {}
    virtual void PipeWater(int /*region*/, bool /*visible*/) {}
    virtual void ShowSwitchStatus(int /*switchNum*/, SwitchStatus) {}
    virtual void ShowPumpsInUse(int /*pumps*/) {}
    virtual void ShowClock(ClockTime) {}
};

}  // namespace kestu
