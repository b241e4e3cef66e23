#include "platform/system/Clock.h"

namespace platform {

double MediaClock::now() const {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

WallTime WallClock::now() const {
    return std::chrono::system_clock::now();
}

double secondsBetween(WallTime since, WallTime until) {
    return std::chrono::duration<double>(until - since).count();
}

}  // namespace platform
