#include "AnimationController.h"

#include <gtest/gtest.h>

#include "CPUMonitor.h"
#include "Fakes.h"
#include "TestApp.h"

namespace {

constexpr double normal = AnimationController::normalFrameInterval;
constexpr double lowPower = AnimationController::lowPowerFrameInterval;
constexpr bool render = true, sample = false;  // the frame timers are the precise ones

struct AnimationControllerTest : ::testing::Test,
                                 platform::MediaClock,
                                 platform::PowerMode,
                                 platform::TickSource {
    AnimationControllerTest() : PowerMode(QDBusConnection(QString())) {
        CPUMonitor::setTickSource(std::shared_ptr<TickSource>(this, [](auto*) {}));
    }
    double now() const override { return time; }
    bool isLowPowerModeEnabled() const override { return low; }
    // Counters that grow by 1000 ticks a reading, 800 of them busy.
    std::optional<platform::Ticks> read() override {
        ++reads;
        return platform::Ticks{.user = 800u * reads, .system = 0, .idle = 200u * reads, .nice = 0};
    }
    void frame(double dt) {
        time += dt;
        timers->live(render).at(0)->fire();
    }
    // As logind's PrepareForSleep reaches the notifier: true before sleep, false after wake.
    void prepareForSleep(bool start) {
        QMetaObject::invokeMethod(sleep.get(), "prepareForSleep", Q_ARG(bool, start));
    }
    std::shared_ptr<AnimationController> make() {
        const std::shared_ptr<AnimationControllerTest> self(this, [](auto*) {});
        return std::make_shared<AnimationController>(
            AnimationController::Services{log, timers, sleep, self, self});
    }

    TestApp app;
    double time = 1000.0;
    bool low = false;
    std::uint64_t reads = 0;
    std::shared_ptr<RecordingLogger> log = std::make_shared<RecordingLogger>();
    std::shared_ptr<HandTimers> timers = std::make_shared<HandTimers>();
    std::shared_ptr<platform::SleepNotifier> sleep = std::make_shared<platform::SleepNotifier>(
        QDBusConnection(QString()), std::make_shared<RecordingLogger>());
    std::shared_ptr<WhaleSceneView> view = std::make_shared<WhaleSceneView>(
        Rect{0, 0, 44, 22}, std::make_shared<platform::Appearance>(QDBusConnection(QString())),
        std::make_shared<FedRandom>(std::deque<std::uint64_t>{1}));
    std::shared_ptr<AnimationController> controller = make();
};

}  // namespace

TEST_F(AnimationControllerTest, ShownLoadEasesTowardTheSampledOneAndAStallIsOneClampedStep) {
    controller->start(view);
    frame(2.0);
    EXPECT_DOUBLE_EQ(view->phase, 0.1);
    EXPECT_DOUBLE_EQ(view->usage, 0.25 * 0.8);
    for (double previous = 0.0; view->usage > previous;) {  // rising until it stays
        previous = view->usage;
        frame(normal);
        ASSERT_EQ(view->displayUsage, 0.8);
    }
    EXPECT_NEAR(view->usage, 0.8, 1e-9);  // reached, never passed
}

TEST_F(AnimationControllerTest, SampleTickSwitchesTheFrameIntervalOnceWhenLowPowerChanges) {
    low = true;
    controller->start(view);
    EXPECT_EQ(timers->live(render).at(0)->interval, normal);
    EXPECT_EQ(timers->live(sample).at(0)->interval, 0.5);
    frame(normal);
    const double before = view->phase;
    time += 0.05;
    for (int tick = 0; tick < 3; ++tick) {
        timers->live(sample).at(0)->fire();
    }
    EXPECT_EQ(log->lines, std::vector<std::string>{"切换帧率: 0.066667"});
    EXPECT_EQ(timers->scheduled.size(), 3u);
    EXPECT_EQ(reads, 4u);
    frame(lowPower);  // measured from the rebuild, not from the last frame
    EXPECT_NEAR(view->phase - before, lowPower, 1e-9);
    low = false;
    timers->live(sample).at(0)->fire();
    EXPECT_EQ(timers->live(render).at(0)->interval, normal);
    for (const auto& timer : timers->scheduled) {
        EXPECT_EQ(timer->mode, platform::RunLoopMode::Common);  // frames go on in the menu
    }
}

TEST_F(AnimationControllerTest, SleepPausesAndWakeResumesAtTheIntervalInForce) {
    low = true;
    controller->start(view);
    timers->live(sample).at(0)->fire();
    prepareForSleep(true);
    EXPECT_TRUE(timers->live(render).empty() && timers->live(sample).empty());
    time += 3600.0;
    prepareForSleep(false);
    prepareForSleep(false);  // a wake without a sleep leaves one timer of each kind
    EXPECT_EQ(reads, 2u);    // the first sample after wake comes with the timer
    ASSERT_EQ(timers->live(sample).size(), 1u);
    ASSERT_EQ(timers->live(render).size(), 1u);
    EXPECT_EQ(timers->live(render)[0]->interval, lowPower);
    const double before = view->phase;
    frame(0.02);
    EXPECT_NEAR(view->phase - before, 0.02, 1e-9);
    EXPECT_EQ(log->lines, (std::vector<std::string>{"切换帧率: 0.066667", "系统休眠，暂停动画",
                                                    "系统唤醒，恢复动画", "系统唤醒，恢复动画"}));
}

// Stopped, or gone without stopping, the controller leaves its timers and observers inert.
TEST_F(AnimationControllerTest, StopEndsEverythingAndCallbacksNeitherKeepNorOutliveIt) {
    controller->start(view);
    controller->stop();
    controller->stop();
    prepareForSleep(true);
    prepareForSleep(false);
    EXPECT_EQ(timers->scheduled.size(), 2u);
    EXPECT_TRUE(timers->live(render).empty() && timers->live(sample).empty());
    controller = make();
    controller->start(view);
    const auto callbacks = {timers->scheduled[2]->fire, timers->scheduled[3]->fire};
    controller.reset();
    time += 1.0;
    for (const auto& callback : callbacks) {
        callback();
    }
    prepareForSleep(true);
    EXPECT_EQ(reads, 2u);
    EXPECT_EQ(view->phase, 0.0);
    EXPECT_TRUE(log->lines.empty());
}
