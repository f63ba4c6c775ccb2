#include "trials/utc_stamp.h"

#include <algorithm>
#include <charconv>

namespace kestu {

namespace {
// `value` in exactly `width` digits, zeros in front.
void AppendDigits(std::string& text, int value, int width)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text.append(static_cast<std::size_t>(std::max<long>(0, width - (end - digits))), '0');
    text.append(digits, end);
}
}  // namespace

std::string UtcStamp(std::time_t at)
{
    std::tm utc{};
    ::gmtime_r(&at, &utc);
    std::string stamp;
    AppendDigits(stamp, utc.tm_year + 1900, 4);
    AppendDigits(stamp, utc.tm_mon + 1, 2);
    AppendDigits(stamp, utc.tm_mday, 2);
    stamp += 'T';
    AppendDigits(stamp, utc.tm_hour, 2);
    AppendDigits(stamp, utc.tm_min, 2);
    AppendDigits(stamp, utc.tm_sec, 2);
    stamp += 'Z';
    return stamp;
}

}  // namespace kestu
