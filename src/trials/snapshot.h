#pragma once

#include <array>
#include <optional>
#include <string>

#include "engine/plant_state.h"
#include "engine/result.h"

namespace kestu {

// Everything a feedforward snapshot holds: the clock, the pump counters, the
// next water arrival due (by its time; none once the schedule has run out), the missed-bucket total, the cleaning queue, each tank's
// water and outlets, and each switch's pump state and handover.
struct Snapshot {
    ClockTime Clock;
    int PumpsAllocated = 0, PumpsReleasing = 0;
    std::optional<ClockTime> NextArrival;  // written as -1,-1 when there is none
    long long MissedTotal = 0;  // written as quoted text, as the window shows it
    std::array<int, QueueSlots> CleaningQueue{};
    struct Tank {
        double Water = 0;
        int OutCount = 0;
        std::array<int, MaxOutlets + 1> OutTo{};
        std::array<double, MaxOutlets + 1> OutShare{};
    };
    std::array<Tank, TankCount> Tanks{};
    std::array<int, SwitchCount> PumpState{};
    std::array<int, SwitchCount> PumpHandover{};
};

inline constexpr int SnapshotLines = 287;

Snapshot TakeSnapshot(const PlantState& plant, std::optional<ClockTime> nextArrival, long long missedTotal);

// The file text: 287 lines ended by CR LF.
std::string SnapshotText(const Snapshot& snapshot);

// Reads and checks a whole snapshot text; a fault says what is wrong and on
// which line.
Result<Snapshot> ParseSnapshot(const std::string& text);

// The participant's snapshot file name: the User ID followed by ".DAT".
std::string SnapshotFileName(const std::string& userId);

// Reads the file's text; refuses anything but a regular file of snapshot size
// (the fault names the file and says "cannot be opened").
Result<std::string> ReadSnapshotText(const std::string& path);
// Parses text read from `path`; the fault names the file and the line and
// says what is wrong ("cannot be read: line 3: ...").
Result<Snapshot> LoadSnapshotText(const std::string& path, const std::string& text);

}  // namespace kestu
