#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AnimationController.h"
#include "CPUMonitor.h"
#include "FakeLogind.h"
#include "FakePowerProfiles.h"
#include "PrivateBus.h"
#include "RecordingLogger.h"

using platform::RunLoopMode;
using Event = platform::SleepNotifier::Event;
using Lines = std::vector<std::string>;

// Reads and seeds the controller's private state where the view cannot show it.
struct AnimationControllerProbe {
    static double smoothedUsage(const AnimationController& c) { return c.smoothedUsage; }
    static void setSmoothedUsage(AnimationController& c, double value) { c.smoothedUsage = value; }
};

namespace {

constexpr double normal = AnimationController::normalFrameInterval;
constexpr double lowPower = AnimationController::lowPowerFrameInterval;
// The frame timers are the precise ones; the sample timer is not.
constexpr bool render = true;
constexpr bool sample = false;

// Timers that fire only when the test says so; each remembers whether it was ended.
struct HandTimers : platform::TimerFactory {
    struct Hand {
        double interval;
        RunLoopMode mode;
        bool precise;
        std::function<void()> callback;
        bool invalidated = false;
    };
    struct Handle : platform::Timer {
        explicit Handle(std::shared_ptr<Hand> timer) : timer(std::move(timer)) {}
        ~Handle() override { timer->invalidated = true; }
        void invalidate() override { timer->invalidated = true; }
        std::shared_ptr<Hand> timer;
    };
    std::vector<std::shared_ptr<Hand>> scheduled;

    std::unique_ptr<platform::Timer> schedule(double interval, RunLoopMode mode, bool precise,
                                              std::function<void()> callback) override {
        scheduled.push_back(std::make_shared<Hand>(Hand{interval, mode, precise, callback}));
        return std::make_unique<Handle>(scheduled.back());
    }
    std::vector<std::shared_ptr<Hand>> ofKind(bool kind, bool liveOnly = true) const {
        std::vector<std::shared_ptr<Hand>> found;
        std::copy_if(
            scheduled.begin(), scheduled.end(), std::back_inserter(found),
            [&](const auto& t) { return t->precise == kind && !(liveOnly && t->invalidated); });
        return found;
    }
    std::size_t live(bool kind) const { return ofKind(kind).size(); }
    std::size_t built(bool kind) const { return ofKind(kind, false).size(); }
    std::shared_ptr<Hand> current(bool kind) const {
        const auto found = ofKind(kind);
        return found.size() == 1 ? found[0] : nullptr;
    }
};

struct SteppedClock : platform::MediaClock {
    double t = 1000.0;
    double now() const override { return t; }
};

// Counters that grow by 1000 ticks a reading with the given busy share; no reading when empty.
struct ScriptedTicks : platform::TickSource {
    std::optional<double> load = 0.5;
    int reads = 0;
    platform::Ticks ticks;

    std::optional<platform::Ticks> read() override {
        ++reads;
        if (!load) {
            return std::nullopt;
        }
        const auto busy = static_cast<std::uint64_t>(std::lround(*load * 1000));
        ticks.user += busy;
        ticks.idle += 1000 - busy;
        return ticks;
    }
};

struct AnimationControllerTest : ::testing::Test {
    int argc = 0;
    QGuiApplication app{argc, nullptr};
    PrivateBus bus;
    // Qt reads both bus addresses on the first use of either default bus (the view's appearance
    // uses the session bus), so the private "system bus" must be named before anything connects.
    bool systemBusNamed = qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());
    ScriptedTicks ticks;
    std::shared_ptr<RecordingLogger> log = std::make_shared<RecordingLogger>("animation");
    std::shared_ptr<HandTimers> timers = std::make_shared<HandTimers>();
    std::shared_ptr<SteppedClock> clock = std::make_shared<SteppedClock>();
    std::unique_ptr<FakeLogind> logind;
    std::unique_ptr<FakePowerProfiles> profiles;
    std::shared_ptr<platform::SleepNotifier> sleepNotifier;
    std::shared_ptr<platform::PowerMode> powerMode;
    std::shared_ptr<WhaleSceneView> view = std::make_shared<WhaleSceneView>(Rect{0, 0, 44, 22});
    std::shared_ptr<AnimationController> controller;

    void SetUp() override {
        ASSERT_TRUE(bus.isRunning());
        CPUMonitor::setTickSource(ticks);
        logind = std::make_unique<FakeLogind>(bus.connect());
        profiles =
            std::make_unique<FakePowerProfiles>(bus.connect(), FakePowerProfiles::Name::Legacy);
        sleepNotifier = std::make_shared<platform::SleepNotifier>(
            bus.connect(), std::make_shared<RecordingLogger>("platform"));
        powerMode = std::make_shared<platform::PowerMode>(bus.connect());
        ASSERT_TRUE(QTest::qWaitFor([&] { return profiles->getCalls() == 1; }));
        controller = std::make_shared<AnimationController>(
            AnimationController::Services{log, timers, sleepNotifier, powerMode, clock});
    }

    void setProfile(const QString& profile) {
        profiles->setActiveProfile(profile);
        const bool low = profile == "power-saver";
        ASSERT_TRUE(QTest::qWaitFor([&] { return powerMode->isLowPowerModeEnabled() == low; }));
    }
    void fire(bool kind, int times = 1) {
        for (int i = 0; i < times; ++i) {
            const auto timer = timers->current(kind);
            ASSERT_NE(timer, nullptr);
            timer->callback();
        }
    }
    void frame(double dt) {
        clock->t += dt;
        fire(render);
    }
    // Sends PrepareForSleep through the bus and waits until it has been delivered: an observer
    // added after the controller's is called after them.
    void prepareForSleep(bool start) {
        int heard = 0;
        const auto token =
            sleepNotifier->addObserver(start ? Event::WillSleep : Event::DidWake, [&] { ++heard; });
        logind->prepareForSleep(start);
        ASSERT_TRUE(QTest::qWaitFor([&] { return heard == 1; }));
        sleepNotifier->removeObserver(token);
    }
    // Over 300 frames the drawn usage moves steadily from `from` to `to` and never past it, while
    // the label shows `to` throughout.
    void expectEasesMonotonically(double from, double to) {
        double previous = from;
        for (int i = 0; i < 300; ++i) {
            frame(normal);
            ASSERT_GE((view->usage - previous) * (to - from), 0.0) << i;
            ASSERT_LE(view->usage, std::max(from, to));
            ASSERT_GE(view->usage, std::min(from, to));
            ASSERT_EQ(view->displayUsage, to);
            previous = view->usage;
        }
        EXPECT_NEAR(view->usage, to, 1e-9);
    }
    bool logged(const std::string& line) const {
        return std::find(log->lines.begin(), log->lines.end(), line) != log->lines.end();
    }
};

}  // namespace

TEST_F(AnimationControllerTest, StallShowsAsOneClampedStep) {
    ticks.load = 0.8;
    controller->start(view);
    frame(2.0);
    EXPECT_DOUBLE_EQ(view->phase, 0.1);
    EXPECT_DOUBLE_EQ(view->usage, 0.25 * 0.8);
    EXPECT_DOUBLE_EQ(view->displayUsage, 0.8);
}

TEST_F(AnimationControllerTest, ConstantLoadIsApproachedWithoutOvershoot) {
    ticks.load = 0.5;
    controller->start(view);
    expectEasesMonotonically(0.0, 0.5);
}

TEST_F(AnimationControllerTest, EmptyWindowDecaysToZero) {
    ticks.load.reset();
    controller->start(view);
    AnimationControllerProbe::setSmoothedUsage(*controller, 0.6);
    expectEasesMonotonically(0.6, 0.0);
}

TEST_F(AnimationControllerTest, GoneViewStillEases) {
    ticks.load = 1.0;
    controller->start(view);
    view.reset();
    frame(0.05);
    frame(0.05);
    EXPECT_NEAR(AnimationControllerProbe::smoothedUsage(*controller), 0.125 + 0.125 * 0.875, 1e-9);
}

TEST_F(AnimationControllerTest, LowPowerAtStartSwitchesOnceOnTheFirstSampleTick) {
    setProfile("power-saver");
    controller->start(view);
    EXPECT_EQ(ticks.reads, 1);
    EXPECT_EQ(timers->current(render)->interval, normal);
    EXPECT_EQ(timers->current(sample)->interval, AnimationController::sampleInterval);

    fire(sample);
    EXPECT_EQ(log->lines, Lines{"切换帧率: 0.066667"});
    EXPECT_EQ(timers->built(render), 2u);
    EXPECT_EQ(timers->current(render)->interval, lowPower);

    fire(sample, 10);
    EXPECT_EQ(log->lines.size(), 1u);
    EXPECT_EQ(timers->built(render), 2u);
    EXPECT_EQ(ticks.reads, 12);

    setProfile("balanced");
    fire(sample, 2);
    EXPECT_EQ(log->lines, (Lines{"切换帧率: 0.066667", "切换帧率: 0.033333"}));
    EXPECT_EQ(timers->built(render), 3u);
    EXPECT_EQ(timers->current(render)->interval, normal);
    EXPECT_EQ(timers->built(sample), 1u);
    for (const auto& timer : timers->scheduled) {
        EXPECT_EQ(timer->mode, RunLoopMode::Common);  // frames go on while the menu is open
    }
}

TEST_F(AnimationControllerTest, FirstFrameAfterRebuildMeasuresFromTheRebuild) {
    controller->start(view);
    frame(normal);
    const double before = view->phase;
    clock->t += 0.05;
    setProfile("power-saver");
    fire(sample);
    frame(lowPower);
    EXPECT_NEAR(view->phase - before, lowPower, 1e-9);
}

TEST_F(AnimationControllerTest, SleepPausesAndWakeResumesAtTheIntervalInForce) {
    setProfile("power-saver");
    controller->start(view);
    fire(sample);
    prepareForSleep(true);
    EXPECT_EQ(timers->live(render) + timers->live(sample), 0u);

    clock->t += 3600.0;
    setProfile("balanced");
    const int reads = ticks.reads;
    prepareForSleep(false);
    EXPECT_EQ(ticks.reads, reads);  // the first sample after wake comes with the timer
    EXPECT_EQ(timers->live(sample), 1u);
    ASSERT_EQ(timers->live(render), 1u);
    EXPECT_EQ(timers->current(render)->interval, lowPower);

    const double before = view->phase;
    frame(0.02);
    EXPECT_NEAR(view->phase - before, 0.02, 1e-9);
    EXPECT_EQ(log->lines,
              (Lines{"切换帧率: 0.066667", "系统休眠，暂停动画", "系统唤醒，恢复动画"}));
    fire(sample);
    EXPECT_EQ(timers->current(render)->interval, normal);
}

TEST_F(AnimationControllerTest, WakeWithoutSleepNeverLeavesTwoTimersOfAKind) {
    controller->start(view);
    prepareForSleep(false);
    prepareForSleep(false);
    EXPECT_EQ(timers->live(sample), 1u);
    EXPECT_EQ(timers->live(render), 1u);
    EXPECT_EQ(timers->scheduled.size(), 6u);
}

TEST_F(AnimationControllerTest, StopTwiceThenSleepAndWakeHaveNoEffect) {
    controller->start(view);
    controller->stop();
    controller->stop();
    EXPECT_EQ(timers->live(sample) + timers->live(render), 0u);
    prepareForSleep(true);
    prepareForSleep(false);
    EXPECT_EQ(timers->scheduled.size(), 2u);
    EXPECT_TRUE(log->lines.empty());
}

TEST_F(AnimationControllerTest, CallbacksNeitherKeepTheControllerAliveNorActAfterIt) {
    controller->start(view);
    const std::weak_ptr<AnimationController> weak = controller;
    const auto sampleCallback = timers->current(sample)->callback;
    const auto renderCallback = timers->current(render)->callback;
    controller.reset();
    ASSERT_TRUE(weak.expired());

    clock->t += 1.0;
    sampleCallback();
    renderCallback();
    prepareForSleep(true);
    prepareForSleep(false);
    EXPECT_EQ(ticks.reads, 1);
    EXPECT_EQ(view->phase, 0.0);
    EXPECT_EQ(timers->scheduled.size(), 2u);
    EXPECT_TRUE(log->lines.empty());
}

// Real timers, the real media clock and the services on their default "system bus", which is
// this test's private bus.
TEST_F(AnimationControllerTest, RunsOnRealTimersWithTheDefaultServices) {
    AnimationController::Services services;
    services.log = log;
    const auto real = std::make_shared<AnimationController>(services);
    real->start(view);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->phase > 0.0 && ticks.reads >= 2; }));

    profiles->setActiveProfile("power-saver");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged("切换帧率: 0.066667"); }));
    logind->prepareForSleep(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged("系统休眠，暂停动画"); }));
    const double paused = view->phase;
    const int reads = ticks.reads;
    logind->prepareForSleep(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged("系统唤醒，恢复动画"); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->phase > paused && ticks.reads > reads; }));
    real->stop();
}
