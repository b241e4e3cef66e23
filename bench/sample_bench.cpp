#include <benchmark/benchmark.h>

#include "CPUMonitor.h"

// One reading of the real /proc/stat: read, parse, arithmetic and the window update.
static void BM_Sample(benchmark::State& state) {
    CPUMonitor::setTickSource(std::make_shared<platform::TickSource>());
    for (auto _ : state) {
        CPUMonitor::sample();
    }
    benchmark::DoNotOptimize(CPUMonitor::averageUsage());
}
BENCHMARK(BM_Sample);
