#include <gtest/gtest.h>

#include <deque>
#include <optional>

#include "CPUMonitor.h"

namespace {

// Hands the sampler counters the test chooses; an empty entry is a failed read.
class FedTicks : public platform::TickSource {
  public:
    std::deque<std::optional<platform::Ticks>> readings;

    std::optional<platform::Ticks> read() override {
        auto next = readings.front();
        readings.pop_front();
        return next;
    }
};

// Each test runs in a process of its own, so the sampler's state starts at all-zero counters and
// an empty window.
class CPUMonitorTest : public testing::Test {
  protected:
    void SetUp() override { CPUMonitor::setTickSource(ticks); }

    void sampleWith(platform::Ticks t) {
        ticks.readings.push_back(t);
        CPUMonitor::sample();
    }

    FedTicks ticks;
};

}  // namespace

TEST_F(CPUMonitorTest, FirstSampleIsTheBusyShareSinceBootAndUnchangedCountersReadZero) {
    EXPECT_EQ(CPUMonitor::averageUsage(), 0.0);

    sampleWith({.user = 300, .system = 100, .idle = 500, .nice = 100});
    EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), 0.4);

    // No tick elapsed: the reading is 0.0 and enters the window like any other.
    sampleWith({.user = 300, .system = 100, .idle = 500, .nice = 100});
    EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), 0.2);
}

TEST_F(CPUMonitorTest, NiceTicksCountTowardTheTotalOnly) {
    sampleWith({.user = 0, .system = 0, .idle = 0, .nice = 0});
    sampleWith({.user = 0, .system = 0, .idle = 0, .nice = 50});
    EXPECT_EQ(CPUMonitor::averageUsage(), 0.0);
}

TEST_F(CPUMonitorTest, OnlyUserAndSystemTicksReadExactlyOne) {
    sampleWith({.user = 10, .system = 20, .idle = 0, .nice = 0});
    EXPECT_EQ(CPUMonitor::averageUsage(), 1.0);
}

TEST_F(CPUMonitorTest, WindowKeepsTheLastFourReadingsInOrder) {
    // Each step adds 100 ticks of which 10, 20, ... 50 are busy.
    platform::Ticks t;
    for (int busy : {10, 20, 30, 40, 50}) {
        t.user += static_cast<std::uint64_t>(busy);
        t.idle += static_cast<std::uint64_t>(100 - busy);
        sampleWith(t);
    }
    // The first reading (0.1) was dropped: (0.2 + 0.3 + 0.4 + 0.5) / 4.
    EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), 0.35);
    // One more reading of 1.0 pushes out 0.2.
    t.user += 100;
    sampleWith(t);
    EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), (0.3 + 0.4 + 0.5 + 1.0) / 4);
}

TEST_F(CPUMonitorTest, StepBackCountsAsNoGrowth) {
    sampleWith({.user = 1000, .system = 0, .idle = 1000, .nice = 0});
    // idle steps back by one tick while user grows by 50: a wrap would read as an enormous idle
    // burst and show 0 %; no growth of idle makes this interval fully busy.
    sampleWith({.user = 1050, .system = 0, .idle = 999, .nice = 0});
    EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), (0.5 + 1.0) / 2);
    // The stepped-back value becomes the new base.
    sampleWith({.user = 1050, .system = 0, .idle = 1049, .nice = 0});
    EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), (0.5 + 1.0 + 0.0) / 3);
}

TEST_F(CPUMonitorTest, FailedReadSkipsTheSampleAndKeepsThePreviousCounters) {
    sampleWith({.user = 300, .system = 100, .idle = 500, .nice = 100});
    ticks.readings.push_back(std::nullopt);
    CPUMonitor::sample();
    EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), 0.4);
    // The next good read measures against the counters from before the failure.
    sampleWith({.user = 400, .system = 100, .idle = 600, .nice = 100});
    EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), (0.4 + 0.5) / 2);
}

TEST(CPUMonitorOnProcStat, TwoRealReadingsGiveAFraction) {
    CPUMonitor::sample();
    CPUMonitor::sample();
    const double usage = CPUMonitor::averageUsage();
    EXPECT_GE(usage, 0.0);
    EXPECT_LE(usage, 1.0);
}
