#pragma once

#include <memory>
#include <vector>

#include "WhaleSceneView.h"
#include "platform/system/Clock.h"
#include "platform/system/Logger.h"
#include "platform/system/PowerMode.h"
#include "platform/system/SleepNotifier.h"
#include "platform/system/Timer.h"

// Drives everything that moves: a 0.5 s sample timer that reads the processor load and re-picks
// the frame interval from the low-power setting, and a render timer (1/30 s, 1/15 s in low-power
// mode) whose every firing eases the shown load toward the sampled one and advances the scene.
// Both timers stop while the machine sleeps. Create it with std::make_shared: the timer and
// sleep callbacks hold it weakly and do nothing once it is gone. Main thread only.
class AnimationController : public std::enable_shared_from_this<AnimationController> {
  public:
    // The platform services it runs on, all required.
    struct Services {
        std::shared_ptr<const platform::Logger> log;
        std::shared_ptr<platform::TimerFactory> timers;
        std::shared_ptr<platform::SleepNotifier> sleepNotifier;
        std::shared_ptr<const platform::PowerMode> powerMode;
        std::shared_ptr<const platform::MediaClock> clock;
    };

    static constexpr double sampleInterval = 0.5;
    static constexpr double normalFrameInterval = 1.0 / 30.0;
    static constexpr double lowPowerFrameInterval = 1.0 / 15.0;
    // A stall or any long gap between frames shows as one step of this size, never as a jump.
    static constexpr double maxFrameStep = 0.1;
    static constexpr double easingRate = 2.5;

    explicit AnimationController(Services services);

    // Binds the view weakly, takes a first sample and starts both timers and the sleep and wake
    // observations. Called once.
    void start(const std::shared_ptr<WhaleSceneView>& sceneView);
    // Ends the timers and the observations; a second call finds nothing to do.
    void stop();

  private:
    void startSampleTimer();
    void startRenderTimer(double interval);
    void registerSleepObservers();
    void checkPowerMode();
    void tick();
    void setPaused(bool paused);
    void invalidateTimers();

    std::shared_ptr<const platform::Logger> log;
    std::weak_ptr<WhaleSceneView> view;
    std::unique_ptr<platform::Timer> renderTimer;
    std::unique_ptr<platform::Timer> sampleTimer;
    double smoothedUsage = 0.0;
    double lastRenderTime = 0.0;
    double currentInterval = normalFrameInterval;
    std::vector<platform::SleepNotifier::Token> observers;

    std::shared_ptr<platform::TimerFactory> timers;
    std::shared_ptr<platform::SleepNotifier> sleepNotifier;
    std::shared_ptr<const platform::PowerMode> powerMode;
    std::shared_ptr<const platform::MediaClock> clock;
};
