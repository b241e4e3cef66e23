#pragma once

#include <chrono>

namespace platform {

// Monotonic seconds, for animation time steps. Tests derive from it to step time by hand.
class MediaClock {
  public:
    virtual ~MediaClock() = default;
    virtual double now() const;
};

using WallTime = std::chrono::system_clock::time_point;

// Calendar time, which the user may set back or forward.
class WallClock {
  public:
    virtual ~WallClock() = default;
    virtual WallTime now() const;
};

// Seconds from `since` to `until`, negative when the clock was set back.
double secondsBetween(WallTime since, WallTime until);

}  // namespace platform
