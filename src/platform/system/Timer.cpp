#include "platform/system/Timer.h"

#include <QTimer>
#include <QTimerEvent>
#include <algorithm>
#include <cmath>

namespace platform {

namespace {

int trackingDepth = 0;

// A repeating QTimer on the creating thread's event loop (the main thread's). A default-mode
// timer drops the firings that fall inside menu tracking instead of holding them: when tracking
// ends it fires at its next regular time, and missed firings are not replayed in a burst.
class LoopTimer final : public QTimer {
  public:
    LoopTimer(double interval, RunLoopMode mode, bool precise, std::function<void()> callback)
        : mode(mode), callback(std::move(callback)) {
        setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
        setInterval(std::max(1, static_cast<int>(std::lround(interval * 1000.0))));
        start();
    }

    bool valid = true;
    bool firing = false;

  protected:
    void timerEvent(QTimerEvent* event) override {
        if (event->timerId() != timerId() || !valid) {
            return;
        }
        if (mode == RunLoopMode::Default && MenuTracking::active()) {
            return;
        }
        firing = true;
        callback();
        firing = false;
    }

  private:
    RunLoopMode mode;
    std::function<void()> callback;
};

class LoopTimerHandle final : public Timer {
  public:
    explicit LoopTimerHandle(LoopTimer* timer) : timer(timer) {}

    // Dropping the handle ends the timer. From inside the timer's own callback the QTimer and
    // the callback are still running, so they are deleted once control is back in the loop.
    ~LoopTimerHandle() override {
        invalidate();
        if (timer->firing) {
            timer->deleteLater();
        } else {
            delete timer;
        }
    }

    void invalidate() override {
        timer->valid = false;
        timer->stop();
    }

  private:
    LoopTimer* timer;
};

}  // namespace

std::unique_ptr<Timer> TimerFactory::schedule(double interval, RunLoopMode mode, bool precise,
                                              std::function<void()> callback) {
    return std::make_unique<LoopTimerHandle>(
        new LoopTimer(interval, mode, precise, std::move(callback)));
}

void MenuTracking::begin() {
    ++trackingDepth;
}

void MenuTracking::end() {
    trackingDepth = std::max(0, trackingDepth - 1);
}

bool MenuTracking::active() {
    return trackingDepth > 0;
}

}  // namespace platform
