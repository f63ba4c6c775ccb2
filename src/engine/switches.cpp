#include "engine/engine.h"

namespace kestu {

void Engine::SetSwitchStatus(int switchNum, SwitchStatus status)
{
    plant.Status[switchNum] = status;
    if (status == SwitchStatus::Clean) plant.PumpState[switchNum] = -constants_.CleaningCycles();
    display_->ShowSwitchStatus(switchNum, status);
}

// What a click changes is what the trial log records; the engine's own
// changes (the pump cycle, a redraw) never are.
void Engine::SetClickedStatus(int switchNum, SwitchStatus status)
{
    SetSwitchStatus(switchNum, status);
    events_->SwitchClicked(plant, switchNum, status);
}

void Engine::SetCycledStatus(int switchNum, SwitchStatus status)
{
    SetSwitchStatus(switchNum, status);
    events_->PumpChanged(plant, switchNum, status);
}

void Engine::Switch_Click(int index)
{
    const int t = TankOf(index);
    TankState& tank = plant.Tanks[t];
    switch (GetSwitchStatus(index)) {
    case SwitchStatus::Off:
        if (tank.Water >= 1 && plant.PumpsAllocated < PumpCount) {
            plant.PumpState[index] = 1;
            ++plant.PumpsAllocated;
            plant.SwitchTick[index] = 0;
            SetClickedStatus(index, SwitchStatus::On);
            display_->PipeWater(t, true);
        } else if (tank.Water >= 1) {
            // All pumps are out: promise this switch the pump of the oldest cleaning switch.
            const int x = DequeueCleaning();
            if (x != -1) {
                plant.PumpHandover[x] = index;
                plant.SwitchTick[x] = 0;
                SetClickedStatus(index, SwitchStatus::Queued);
                ++plant.PumpsAllocated;
            }
        }
        PumpsInUse_Display();
        break;
    case SwitchStatus::On:
        if (GetSwitchStatus(PartnerOf(index)) != SwitchStatus::On) display_->PipeWater(t, false);
        SetClickedStatus(index, SwitchStatus::Clean);
        PumpsInUse_Display();
        EnqueueCleaning(index);
        break;
    case SwitchStatus::Clean:
    case SwitchStatus::Queued:
        break;
    }
}

void Engine::PumpsInUse_Display()
{
    plant.PumpsInUseShown = plant.PumpsAllocated - plant.PumpsReleasing;
    display_->ShowPumpsInUse(plant.PumpsInUseShown);
}

void Engine::ResetCleaningQueue()
{
    plant.CleaningQueue.fill(-1);
}

void Engine::EnqueueCleaning(int switchNum)
{
    for (int& slot : plant.CleaningQueue) {
        if (slot == -1) {
            slot = switchNum;
            return;
        }
    }
    // A full queue drops the entry; five pumps never fill ten slots.
}

int Engine::DequeueCleaning()
{
    auto& q = plant.CleaningQueue;
    const int head = q[0];
    for (int k = 0; k + 1 < QueueSlots; ++k) q[k] = q[k + 1];
    q[QueueSlots - 1] = -1;
    return head;
}

void Engine::RemoveFromCleaningQueue(int switchNum)
{
    auto& q = plant.CleaningQueue;
    for (int k = 0; k < QueueSlots; ++k) {
        if (q[k] != switchNum) continue;
        for (int m = k; m + 1 < QueueSlots; ++m) q[m] = q[m + 1];
        q[QueueSlots - 1] = -1;
        return;
    }
}

}  // namespace kestu
