#pragma once

namespace kestu {

inline constexpr int TankCount = 23;       // tanks 0..22; the tank table has one spare record (23)
inline constexpr int TankRecords = 24;
inline constexpr int SwitchCount = 46;     // switch s drains tank s / 2
inline constexpr int PumpCount = 5;
inline constexpr int MaxOutlets = 10;      // outlet entries 1..10; entry 0 is never used
inline constexpr int QueueSlots = 10;

// The two timing constants fixed at start-up.
struct EngineConstants {
    int PumpCycleTicks = 2;
    int CleanTicks = 10;
    int CleaningCycles() const { return CleanTicks / PumpCycleTicks; }
};

inline constexpr int TankOf(int switchNum) { return switchNum / 2; }
inline constexpr int PartnerOf(int switchNum) { return switchNum % 2 == 0 ? switchNum + 1 : switchNum - 1; }

}  // namespace kestu
