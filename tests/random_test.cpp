#include "platform/system/Random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "FedRandom.h"

namespace {

constexpr double twoTo53 = 9007199254740992.0;
constexpr std::uint64_t half = std::uint64_t{1} << 63;
// The smallest bits whose step is 2^53: the range's upper end.
constexpr std::uint64_t topBits = 0xfffffffffffff801;

double uniformFrom(std::uint64_t bits, double a, double b) {
    FedRandom random({bits});
    return random.uniform(a, b);
}

}  // namespace

TEST(Random, BothEndsAndTheMiddleAreReachedExactly) {
    EXPECT_EQ(uniformFrom(1, -0.4, 0.4), -0.4);
    EXPECT_EQ(uniformFrom(topBits, -0.4, 0.4), 0.4);
    EXPECT_EQ(uniformFrom(~std::uint64_t{0}, 0.75, 1.1), 1.1);
    EXPECT_EQ(uniformFrom(half, -1.0, 1.0), 0.0);
    EXPECT_EQ(uniformFrom(half, 0.75, 1.1), 0.75 + (1.1 - 0.75) * 0.5);
}

TEST(Random, StepIsTheHighHalfOfTheProduct) {
    // Over [0, 2^53] the value is the step itself.
    EXPECT_EQ(uniformFrom(std::uint64_t{1} << 62, 0.0, twoTo53), twoTo53 / 4);
    EXPECT_EQ(uniformFrom(topBits - 1, 0.0, twoTo53), twoTo53 - 1);
}

TEST(Random, BiasedProductsAreDrawnAgain) {
    // Low halves below 2^53 - 2047: 0 gives 0, 0x1ffffffffff800 gives 2^53 - 2048.
    FedRandom random({0, 0x1ffffffffff800, half, 1});
    EXPECT_EQ(random.uniform(-1.0, 1.0), 0.0);
    EXPECT_EQ(random.queue.size(), 1u);  // three drawn, the last one left
}

TEST(Random, SystemSourceStaysInRangeAndVaries) {
    platform::Random random;
    std::set<double> seen;
    for (int i = 0; i < 1000; ++i) {
        const double value = random.uniform(-0.4, 0.4);
        ASSERT_GE(value, -0.4);
        ASSERT_LE(value, 0.4);
        seen.insert(value);
    }
    EXPECT_GT(seen.size(), 990u);
    // Bits come in batches; every batch is fresh, the one a refill starts included.
    std::set<std::uint64_t> bits;
    for (int i = 0; i < 200; ++i) {
        bits.insert(random.bits());
    }
    EXPECT_EQ(bits.size(), 200u);
}
