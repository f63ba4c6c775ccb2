#include "analysis/chart_scale.h"

#include <algorithm>
#include <cmath>

namespace kestu::analysis {

std::vector<double> NiceTicks(double lo, double hi, int target)
{
    if (!(hi > lo)) hi = lo + 1;
    const double rough = (hi - lo) / std::max(target, 1);
    const int exponent = static_cast<int>(std::floor(std::log10(rough)));
    const double power = std::pow(10.0, exponent);
    double factor = 10;
    for (double candidate : {1.0, 2.0, 5.0, 10.0}) {
        if (candidate * power >= rough) {
            factor = candidate;
            break;
        }
    }
    // Tick k is k * factor * 10^exponent; below 1 it is computed as a quotient
    // of whole numbers so that 0.6 is the double nearest 0.6, as a label wants.
    const double scale = std::pow(10.0, std::abs(exponent));
    auto tick = [&](long long k) { return exponent < 0 ? k * factor / scale : k * factor * scale; };
    const double step = factor * power;
    long long k = static_cast<long long>(std::floor(lo / step));
    while (tick(k) > lo) --k;  // guards against lo / step rounding up
    std::vector<double> ticks{tick(k)};
    while (ticks.back() < hi) ticks.push_back(tick(++k));
    return ticks;
}

std::vector<int> ClockTicks(int lastSecond, int target)
{
    static constexpr int Steps[] = {5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    lastSecond = std::max(lastSecond, 1);
    int step = Steps[std::size(Steps) - 1];
    for (int candidate : Steps) {
        if (lastSecond / candidate <= std::max(target, 1)) {
            step = candidate;
            break;
        }
    }
    std::vector<int> ticks;
    for (int t = 0;; t += step) {
        ticks.push_back(t);
        if (t >= lastSecond) break;
    }
    return ticks;
}

}  // namespace kestu::analysis
