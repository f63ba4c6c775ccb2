#include "analysis/distribution.h"

#include <algorithm>
#include <cmath>

namespace kestu::analysis {

namespace {

// Quantile p of sorted values: position p * (n - 1), linear between neighbours.
double Quantile(const std::vector<double>& sorted, double p)
{
    const double position = p * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(position));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    const double fraction = position - static_cast<double>(below);
    return sorted[below] + fraction * (sorted[above] - sorted[below]);
}

}  // namespace

Distribution Describe(std::vector<double> values)
{
    Distribution d;
    d.count = values.size();
    if (values.empty()) return d;
    std::sort(values.begin(), values.end());

    double sum = 0;
    for (double v : values) sum += v;
    d.mean = sum / static_cast<double>(values.size());
    if (values.size() > 1) {
        double squares = 0;  // two passes: no cancellation when the spread is small beside the mean
        for (double v : values) squares += (v - d.mean) * (v - d.mean);
        d.sd = std::sqrt(squares / static_cast<double>(values.size() - 1));
    }
    d.min = values.front();
    d.max = values.back();
    d.q1 = Quantile(values, 0.25);
    d.median = Quantile(values, 0.5);
    d.q3 = Quantile(values, 0.75);
    return d;
}

}  // namespace kestu::analysis
