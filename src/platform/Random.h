#pragma once

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
};

}  // namespace platform
