#include "AnimationController.h"

#include <algorithm>

#include "CPUMonitor.h"

AnimationController::AnimationController(Services services)
    : log(std::move(services.log)),
      timers(std::move(services.timers)),
      sleepNotifier(std::move(services.sleepNotifier)),
      powerMode(std::move(services.powerMode)),
      clock(std::move(services.clock)) {}

void AnimationController::start(const std::shared_ptr<WhaleSceneView>& sceneView) {
    view = sceneView;
    CPUMonitor::sample();
    startSampleTimer();
    startRenderTimer(currentInterval);
    registerSleepObservers();
}

void AnimationController::stop() {
    invalidateTimers();
    for (const auto token : observers) {
        sleepNotifier->removeObserver(token);
    }
    observers.clear();
}

void AnimationController::startSampleTimer() {
    if (sampleTimer) {
        sampleTimer->invalidate();
    }
    sampleTimer = timers->schedule(sampleInterval, platform::RunLoopMode::Common, false,
                                   [weak = weak_from_this()] {
                                       if (const auto self = weak.lock()) {
                                           CPUMonitor::sample();
                                           self->checkPowerMode();
                                       }
                                   });
}

void AnimationController::startRenderTimer(double interval) {
    if (renderTimer) {
        renderTimer->invalidate();
    }
    lastRenderTime = clock->now();
    renderTimer =
        timers->schedule(interval, platform::RunLoopMode::Common, true, [weak = weak_from_this()] {
            if (const auto self = weak.lock()) {
                self->tick();
            }
        });
}

void AnimationController::registerSleepObservers() {
    using Event = platform::SleepNotifier::Event;
    observers.push_back(sleepNotifier->addObserver(Event::WillSleep, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->setPaused(true);
        }
    }));
    observers.push_back(sleepNotifier->addObserver(Event::DidWake, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->setPaused(false);
        }
    }));
}

void AnimationController::checkPowerMode() {
    const double target =
        powerMode->isLowPowerModeEnabled() ? lowPowerFrameInterval : normalFrameInterval;
    // Exact comparison: the two candidates are fixed constants, and rebuilding the render timer
    // on every sample tick would keep restarting its phase.
    if (currentInterval == target) {
        return;
    }
    currentInterval = target;
    log->info("切换帧率: %f", target);
    startRenderTimer(target);
}

void AnimationController::tick() {
    const double now = clock->now();
    const double dt = std::min(now - lastRenderTime, maxFrameStep);
    lastRenderTime = now;
    const double target = CPUMonitor::averageUsage();
    const double factor = std::min(dt * easingRate, 1.0);
    smoothedUsage += factor * (target - smoothedUsage);

    const auto scene = view.lock();
    if (!scene) {
        return;
    }
    scene->usage = smoothedUsage;
    scene->displayUsage = target;
    scene->phase += dt;
    scene->computePosition(scene->bounds());
    scene->emitSprays(dt);
    scene->advanceSprays(dt);
    scene->setNeedsDisplay(true);
}

void AnimationController::setPaused(bool paused) {
    if (paused) {
        log->info("系统休眠，暂停动画");
        invalidateTimers();
        return;
    }
    log->info("系统唤醒，恢复动画");
    startSampleTimer();
    startRenderTimer(currentInterval);
}

void AnimationController::invalidateTimers() {
    if (renderTimer) {
        renderTimer->invalidate();
    }
    if (sampleTimer) {
        sampleTimer->invalidate();
    }
    renderTimer.reset();
    sampleTimer.reset();
}
