#include "platform/system/Random.h"

#include <cmath>
#include <cstdlib>

namespace platform {

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr std::uint64_t stepCount = (std::uint64_t{1} << 53) + 1;  // 0 to 2^53 inclusive
// 2^64 mod stepCount: products whose low half falls below this would favour small steps.
constexpr std::uint64_t rejectBelow = (std::uint64_t{1} << 53) - 2047;

}  // namespace

std::uint64_t Random::bits() {
    if (nextInPool == pool.size()) {
        arc4random_buf(pool.data(), sizeof pool);
        nextInPool = 0;
    }
    return pool[nextInPool++];
}

std::uint64_t Random::uniformStep() {
    Wide product = Wide{bits()} * stepCount;
    while (static_cast<std::uint64_t>(product) < rejectBelow) {
        product = Wide{bits()} * stepCount;
    }
    return static_cast<std::uint64_t>(product >> 64);
}

double Random::uniform(double a, double b) {
    const std::uint64_t k = uniformStep();
    if (k == stepCount - 1) {
        return b;
    }
    return a + (b - a) * std::ldexp(static_cast<double>(k), -53);
}

}  // namespace platform
