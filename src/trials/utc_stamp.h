#pragma once

#include <ctime>
#include <string>

namespace kestu {

// A moment in UTC as file names carry it, the same under every locale:
// "20261207T031500Z". Files set aside (an unclaimed log, an unread outbox)
// are named with it.
std::string UtcStamp(std::time_t at = std::time(nullptr));

}  // namespace kestu
