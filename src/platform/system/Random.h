#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

// The system random source. bits() is the real thing; tests derive to feed exact bits.
class Random {
  public:
    virtual ~Random() = default;

    // 64 uniformly distributed random bits.
    virtual std::uint64_t bits();

    // A uniform double in the closed range [a, b]; b itself is reachable.
    double uniform(double a, double b);

  private:
    // A uniform whole number from 0 to 2^53 inclusive.
    std::uint64_t uniformStep();

    // The system's bits, fetched a batch at a time: each fetch is a system call.
    std::array<std::uint64_t, 32> pool{};
    std::size_t nextInPool = pool.size();
};

}  // namespace platform
