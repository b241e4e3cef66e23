#include "CPUMonitor.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <deque>
#include <fstream>

using platform::Ticks;

namespace {

Ticks at(std::uint64_t user, std::uint64_t system, std::uint64_t idle, std::uint64_t nice) {
    return {.user = user, .system = system, .idle = idle, .nice = nice};
}

// Hands the sampler the counters the test chooses; an empty entry is a failed read.
struct FedTicks : platform::TickSource {
    std::deque<std::optional<Ticks>> readings;
    std::optional<Ticks> read() override {
        auto next = readings.front();
        readings.pop_front();
        return next;
    }
};

}  // namespace

TEST(CPUMonitor, AveragesTheBusyShareOfTheLastFourReadings) {
    const std::vector<std::vector<std::pair<std::optional<Ticks>, double>>> rows = {
        // The first is the share since boot; unchanged counters read 0 and count like any other.
        {{at(300, 100, 500, 100), 0.4}, {at(300, 100, 500, 100), 0.2}},
        // Nice ticks count toward the total only; user and system alone read exactly one.
        {{at(0, 0, 0, 50), 0.0}, {at(10, 20, 0, 50), 0.5}},
        // Steps of 100 ticks, 10, 20, ... 50 busy: the first reading drops out, then the second.
        {{at(10, 0, 90, 0), 0.1},
         {at(30, 0, 170, 0), 0.15},
         {at(60, 0, 240, 0), 0.2},
         {at(100, 0, 300, 0), 0.25},
         {at(150, 0, 350, 0), 0.35},
         {at(250, 0, 350, 0), (0.3 + 0.4 + 0.5 + 1.0) / 4}},
        // Idle stepping back is no growth, not a wrap of 2^64 ticks; it becomes the new base.
        {{at(1000, 0, 1000, 0), 0.5},
         {at(1050, 0, 999, 0), (0.5 + 1.0) / 2},
         {at(1050, 0, 1049, 0), (0.5 + 1.0 + 0.0) / 3}},
        // A failed read skips the sample and keeps the counters from before it.
        {{at(300, 100, 500, 100), 0.4}, {std::nullopt, 0.4}, {at(400, 100, 600, 100), 0.45}},
    };
    for (const auto& steps : rows) {
        const auto ticks = std::make_shared<FedTicks>();
        CPUMonitor::setTickSource(ticks);  // starts afresh
        EXPECT_EQ(CPUMonitor::averageUsage(), 0.0);
        for (const auto& [reading, average] : steps) {
            ticks->readings.push_back(reading);
            CPUMonitor::sample();
            EXPECT_DOUBLE_EQ(CPUMonitor::averageUsage(), average) << &steps - rows.data();
        }
    }
}

// user nice system idle iowait irq softirq [steal guest guest_nice]: older kernels stop early.
TEST(TickSource, ReadsTheAggregateLineAfreshEachTimeAndNothingElse) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("stat").toStdString();
    platform::TickSource source(path);
    EXPECT_FALSE(source.read());
    std::ofstream(path) << "cpu  1000 20 300 4000 50 6 7 800 900 11\ncpu0 1 2 3 4 5 6 7\n";
    EXPECT_EQ(source.read(), at(1000, 300 + 6 + 7, 4000 + 50, 20));
    std::ofstream(path) << "cpu  18446744073709551615 2 3 4 5 6 7\n";  // rewritten in place
    EXPECT_EQ(source.read(), at(18446744073709551615ULL, 3 + 6 + 7, 4 + 5, 2));
    for (const char* text :
         {"cpu  1 2 3 4 5 6\n", "cpu  1 2 3 4\ncpu0 5 6 7 8 9\n", "cpu0 1 2 3 4 5 6 7\n",
          "cpu  1 2 -3.5 4 5 6 7\n", "cpu  99999999999999999999 2 3 4 5 6 7\n"}) {
        EXPECT_FALSE(platform::parseProcStat(text)) << text;
    }
    EXPECT_TRUE(platform::TickSource().read());  // the real /proc/stat
}
