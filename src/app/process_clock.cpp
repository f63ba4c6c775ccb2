#include "app/process_clock.h"

#include <QElapsedTimer>

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

#if defined(__linux__)
#include <ctime>
#include <unistd.h>
#endif

namespace kestu {

namespace {
#if defined(__linux__)
// Field 22 of /proc/self/stat: the start time in clock ticks after boot.
bool ProcessStartSeconds(double& seconds)
{
    std::ifstream stat("/proc/self/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto close = line.rfind(')');  // the command name may hold blanks
    if (close == std::string::npos) return false;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    for (int n = 3; n <= 22; ++n)
        if (!(fields >> field)) return false;
    long long ticks = 0;  // a whole number; from_chars ignores the locale
    const auto read = std::from_chars(field.data(), field.data() + field.size(), ticks);
    if (read.ec != std::errc{}) return false;
    seconds = static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    return true;
}
#endif
}  // namespace

double MillisecondsSinceProcessStart()
{
#if defined(__linux__)
    double start = 0;
    timespec now{};
    if (ProcessStartSeconds(start) && clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return (now.tv_sec + now.tv_nsec / 1e9 - start) * 1000.0;
#endif
    static QElapsedTimer sinceFirstCall;
    if (!sinceFirstCall.isValid()) sinceFirstCall.start();
    return static_cast<double>(sinceFirstCall.elapsed());
}

}  // namespace kestu
