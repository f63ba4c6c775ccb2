#include "engine/random_source.h"

#include <chrono>

namespace kestu {

RandomSource::RandomSource()
    : gen_(static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count())
           ^ std::random_device{}())
{
}

float RandomSource::Uniform()
{
    // 24 random bits give every float step of [0, 1) the same chance.
    return static_cast<float>(gen_() >> 40) * (1.0f / 16777216.0f);
}

}  // namespace kestu
