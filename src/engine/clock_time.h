#pragma once

#include <compare>
#include <string>

namespace kestu {

// A time on the simulated clock: whole minutes, which never wrap, and
// seconds 0..59. The clock, deadlines, arrival rows, log records and
// snapshots all keep their times as one of these, compared as one time.
// Before the first tick of a trial the seconds may read -1.
struct ClockTime {
    int Minutes = 0;
    int Seconds = 0;

    friend auto operator<=>(const ClockTime&, const ClockTime&) = default;

    // One tick of the clock: a second on, carrying into the minutes at 60.
    void Advance()
    {
        if (++Seconds == 60) {
            ++Minutes;
            Seconds = 0;
        }
    }
    long long TotalSeconds() const { return Minutes * 60LL + Seconds; }
};

// The clock as the window and the messages show it: "07:05", "123:09".
std::string FormatClock(ClockTime time);

}  // namespace kestu
