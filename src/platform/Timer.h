#pragma once

#include <functional>
#include <memory>

namespace platform {

// Common-mode timers fire while the status menu is open or a modal alert runs; default-mode
// timers do not (see MenuTracking).
enum class RunLoopMode { Common, Default };

class Timer {
  public:
    virtual ~Timer() = default;
    // The timer never fires again, also when called from inside its own callback.
    virtual void invalidate() = 0;
};

// Creates repeating timers on the main event loop.
class TimerFactory {
  public:
    virtual ~TimerFactory() = default;
    // The first firing comes one interval (seconds) after the call; `precise` for frame timers.
    virtual std::unique_ptr<Timer> schedule(double interval, RunLoopMode mode, bool precise,
                                            std::function<void()> callback);
};

// The status menu's tracking state and modal alerts: while active, default-mode timers hold
// their firings. Calls nest.
class MenuTracking {
  public:
    static void begin();
    static void end();
    static bool active();
};

}  // namespace platform
