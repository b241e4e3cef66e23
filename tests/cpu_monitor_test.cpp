#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <vector>

#include "CPUMonitor.h"

using platform::Ticks;

namespace {

// Hands the sampler counters the test chooses; an empty entry is a failed read.
struct FedTicks : platform::TickSource {
    std::deque<std::optional<Ticks>> readings;
    std::optional<Ticks> read() override {
        auto next = readings.front();
        readings.pop_front();
        return next;
    }
};

struct Step {
    std::optional<Ticks> reading;
    double average;  // after this sample
};

// Each row runs in a process of its own (a test each), so the sampler starts at all-zero
// counters and an empty window.
struct Row {
    const char* name;
    std::vector<Step> steps;
};
struct CPUMonitorTest : testing::TestWithParam<Row> {};

Ticks at(std::uint64_t user, std::uint64_t system, std::uint64_t idle, std::uint64_t nice) {
    return {.user = user, .system = system, .idle = idle, .nice = nice};
}

}  // namespace

TEST_P(CPUMonitorTest, AveragesTheLastFourReadings) {
    FedTicks ticks;
    CPUMonitor::setTickSource(ticks);
    EXPECT_EQ(CPUMonitor::averageUsage(), 0.0);
    for (const auto& step : GetParam().steps) {
        ticks.readings.push_back(step.reading);
        CPUMonitor::sample();
        EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), step.average);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Readings, CPUMonitorTest,
    testing::Values(
        // The first sample is the busy share since boot; unchanged counters read 0.0 and enter the
        // window like any other reading.
        Row{"FirstIsSinceBootUnchangedReadsZero",
            {{at(300, 100, 500, 100), 0.4}, {at(300, 100, 500, 100), 0.2}}},
        // Nice ticks count toward the total only; user and system alone read exactly one.
        Row{"NiceCountsTowardTheTotalOnly", {{at(0, 0, 0, 50), 0.0}}},
        Row{"UserAndSystemOnlyReadOne", {{at(10, 20, 0, 0), 1.0}}},
        // Steps of 100 ticks, 10, 20, ... 50 busy: the first reading drops out, then the second.
        Row{"WindowKeepsTheLastFour",
            {{at(10, 0, 90, 0), 0.1},
             {at(30, 0, 170, 0), 0.15},
             {at(60, 0, 240, 0), 0.2},
             {at(100, 0, 300, 0), 0.25},
             {at(150, 0, 350, 0), 0.35},
             {at(250, 0, 350, 0), (0.3 + 0.4 + 0.5 + 1.0) / 4}}},
        // idle steps back by one tick while user grows by 50: a wrap would read as an enormous
        // idle burst and show 0 %; no growth makes this interval fully busy. The stepped-back
        // value becomes the new base.
        Row{"StepBackCountsAsNoGrowth",
            {{at(1000, 0, 1000, 0), 0.5},
             {at(1050, 0, 999, 0), (0.5 + 1.0) / 2},
             {at(1050, 0, 1049, 0), (0.5 + 1.0 + 0.0) / 3}}},
        // A failed read skips the sample; the next good one measures against the counters from
        // before the failure.
        Row{"FailedReadKeepsThePreviousCounters",
            {{at(300, 100, 500, 100), 0.4},
             {std::nullopt, 0.4},
             {at(400, 100, 600, 100), (0.4 + 0.5) / 2}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CPUMonitorOnProcStat, TwoRealReadingsGiveAFraction) {
    CPUMonitor::sample();
    CPUMonitor::sample();
    EXPECT_GE(CPUMonitor::averageUsage(), 0.0);
    EXPECT_LE(CPUMonitor::averageUsage(), 1.0);
}
