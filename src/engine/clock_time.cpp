#include "engine/clock_time.h"

namespace kestu {

namespace {
void AppendTwoDigits(std::string& out, int value)
{
    if (value >= 0 && value < 10) out += '0';
    out += std::to_string(value);
}
}  // namespace

std::string FormatClock(ClockTime time)
{
    std::string text;
    AppendTwoDigits(text, time.Minutes);
    text += ':';
    AppendTwoDigits(text, time.Seconds);
    return text;
}

}  // namespace kestu
