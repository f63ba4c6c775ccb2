#pragma once

#include <cstdint>
#include <random>

namespace kestu {

// The Random method's generator: seeded once per run (from the clock unless a
// seed is given), so successive draws never repeat a coarse clock's value.
class RandomSource {
public:
    RandomSource();
    explicit RandomSource(std::uint64_t seed) : gen_(seed) {}
    void Seed(std::uint64_t seed) { gen_.seed(seed); }
    // Uniform in [0, 1), single precision as the selection rule asks.
    float Uniform();

private:
    std::mt19937_64 gen_;
};

}  // namespace kestu
