#include "CPUMonitor.h"

#include <algorithm>
#include <numeric>

namespace {

// The kernel's idle and iowait counters can step back slightly after a processor goes idle; that
// is no growth, not a wrap of 2^64 ticks.
double growth(std::uint64_t current, std::uint64_t previous) {
    return current >= previous ? static_cast<double>(current - previous) : 0.0;
}

}  // namespace

void CPUMonitor::setTickSource(std::shared_ptr<platform::TickSource> source) {
    tickSource = std::move(source);
    loadPrevious = {};
    window.clear();
}

std::optional<double> CPUMonitor::instantUsage() {
    const auto current = tickSource ? tickSource->read() : std::nullopt;
    if (!current) {
        return std::nullopt;
    }
    const double user = growth(current->user, loadPrevious.user);
    const double system = growth(current->system, loadPrevious.system);
    const double idle = growth(current->idle, loadPrevious.idle);
    const double nice = growth(current->nice, loadPrevious.nice);
    loadPrevious = *current;

    // Nice ticks count toward the total only.
    const double busy = user + system;
    const double total = busy + idle + nice;
    if (!(total > 0.0)) {
        return 0.0;
    }
    return std::min(busy / total, 1.0);
}

void CPUMonitor::sample() {
    const auto usage = instantUsage();
    if (!usage) {
        return;
    }
    window.push_back(*usage);
    if (window.size() > windowSize) {
        window.erase(window.begin());
    }
}

double CPUMonitor::averageUsage() {
    if (window.empty()) {
        return 0.0;
    }
    return std::accumulate(window.begin(), window.end(), 0.0) / static_cast<double>(window.size());
}
