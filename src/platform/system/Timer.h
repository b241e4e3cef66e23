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

// Creates repeating timers on the event loop of the calling thread, which is the main thread.
class TimerFactory {
  public:
    virtual ~TimerFactory() = default;
    // The first firing comes one interval (seconds, rounded to whole milliseconds) after the call;
    // `precise` for frame timers. Dropping the returned handle ends the timer as invalidate() does.
    virtual std::unique_ptr<Timer> schedule(double interval, RunLoopMode mode, bool precise,
                                            std::function<void()> callback);
};

// The status menu's tracking state and modal alerts: while active, default-mode timers skip
// their firings; once it ends they fire at their next regular time, and the firings missed in
// between are not made up. Calls nest; an end() without a begin() is ignored.
class MenuTracking {
  public:
    static void begin();
    static void end();
    static bool active();
};

}  // namespace platform
