#pragma once

#include <cstddef>
#include <vector>

namespace kestu::analysis {

// The usual summary of a sample: mean, standard deviation (with n - 1),
// extremes and quartiles (interpolated between order statistics, as R's
// default quantile() and pandas' describe() do).
struct Distribution {
    std::size_t count = 0;
    double mean = 0, sd = 0, min = 0, q1 = 0, median = 0, q3 = 0, max = 0;
};

// All zero for an empty sample; sd is 0 for a single value.
Distribution Describe(std::vector<double> values);

}  // namespace kestu::analysis
