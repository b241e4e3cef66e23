#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <functional>
#include <memory>

#include "AnimationController.h"
#include "CPUMonitor.h"

namespace {

// Hands the frame callback to the benchmark instead of scheduling it.
class CapturedTimers : public platform::TimerFactory {
  public:
    std::unique_ptr<platform::Timer> schedule(double, platform::RunLoopMode, bool precise,
                                              std::function<void()> callback) override {
        if (precise) {
            frame = std::move(callback);
        }
        return std::make_unique<Inert>();
    }
    std::function<void()> frame;

  private:
    struct Inert : platform::Timer {
        void invalidate() override {}
    };
};

struct QuietLogger : platform::Logger {
    using Logger::Logger;
    void write(Level, const std::string&) const override {}
};

// A started controller with a full sample window and no D-Bus, whose frames the caller runs.
struct Rig {
    std::shared_ptr<CapturedTimers> timers = std::make_shared<CapturedTimers>();
    std::shared_ptr<WhaleSceneView> view = std::make_shared<WhaleSceneView>(
        Rect{0, 0, 44, 22}, std::make_shared<platform::Appearance>(QDBusConnection("no bus")),
        std::make_shared<platform::Random>());
    std::shared_ptr<AnimationController> controller;

    Rig() {
        static int argc = 0;
        static QCoreApplication app(argc, nullptr);
        const QDBusConnection noBus("no bus");
        AnimationController::Services services;
        services.log = std::make_shared<QuietLogger>("animation");
        services.timers = timers;
        services.sleepNotifier = std::make_shared<platform::SleepNotifier>(
            noBus, std::make_shared<QuietLogger>("platform"));
        services.powerMode = std::make_shared<platform::PowerMode>(noBus);
        services.clock = std::make_shared<platform::MediaClock>();
        controller = std::make_shared<AnimationController>(services);
        CPUMonitor::setTickSource(std::make_shared<platform::TickSource>());
        for (int i = 0; i < 4; ++i) {
            CPUMonitor::sample();
        }
        controller->start(view);
    }
};

}  // namespace

// The controller's own share of a frame: one media-clock read, the mean of the sample window and
// one easing step. With the view released the frame stops right after them.
static void BM_ControllerShareOfFrame(benchmark::State& state) {
    Rig rig;
    rig.view.reset();
    for (auto _ : state) {
        rig.timers->frame();
    }
}
BENCHMARK(BM_ControllerShareOfFrame);

// A whole frame short of painting: the controller's share plus the view's motion and spray steps
// and the redisplay request.
static void BM_FrameBeforePaint(benchmark::State& state) {
    Rig rig;
    for (auto _ : state) {
        rig.timers->frame();
    }
    benchmark::DoNotOptimize(rig.view->phase);
}
BENCHMARK(BM_FrameBeforePaint);
