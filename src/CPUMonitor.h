#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/system/TickSource.h"

// Turns the kernel's cumulative tick counters into the processor load fraction (0 to 1) and keeps
// the mean of the last four readings, which is the load everything else shows. Process-wide state,
// used on the main thread only.
class CPUMonitor {
  public:
    CPUMonitor() = delete;

    // Takes one reading and appends it to the window, dropping the oldest beyond four. A reading
    // that cannot be taken is skipped: the window and the previous counters stay as they were.
    static void sample();
    // Mean of the window, 0.0 while it is empty.
    static double averageUsage();

    // Where the counters come from: /proc/stat in the app, counters of its own in a test; none
    // takes no readings. Starts the window and the previous counters afresh: another source's
    // counters do not continue the old ones.
    static void setTickSource(std::shared_ptr<platform::TickSource> source);

  private:
    static constexpr std::size_t windowSize = 4;

    static std::optional<double> instantUsage();

    static inline platform::Ticks loadPrevious{};
    static inline std::vector<double> window;
    static inline std::shared_ptr<platform::TickSource> tickSource;
};
