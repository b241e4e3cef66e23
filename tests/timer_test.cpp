#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <functional>
#include <memory>

#include "platform/system/Timer.h"

using platform::MenuTracking;
using platform::RunLoopMode;
using platform::Timer;

namespace {

struct TimerTest : ::testing::Test {
    int argc = 0;
    QCoreApplication app{argc, nullptr};
    platform::TimerFactory factory;

    std::unique_ptr<Timer> counting(int& count, RunLoopMode mode = RunLoopMode::Common) {
        return factory.schedule(0.005, mode, false, [&count] { ++count; });
    }
    // Runs the loop until a timer created now with the same interval has fired `n` times: by
    // then every timer created before it has had its chance to fire as often.
    void runFirings(int n) {
        int fired = 0;
        const auto pacer = counting(fired);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fired >= n; }));
    }
};

}  // namespace

TEST_F(TimerTest, FiresRepeatedlyButNotBeforeOneInterval) {
    int count = 0;
    const auto timer = factory.schedule(0.005, RunLoopMode::Common, true, [&] { ++count; });
    QCoreApplication::processEvents();
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return count >= 3; }));
}

TEST_F(TimerTest, InvalidatingOrDroppingTheHandleEndsFiringEvenFromItsOwnCallback) {
    const std::function<void(std::unique_ptr<Timer>&)> ends[] = {
        [](auto& timer) { timer->invalidate(); }, [](auto& timer) { timer.reset(); }};
    for (const auto& end : ends) {
        int count = 0;
        std::unique_ptr<Timer> timer;
        timer = factory.schedule(0.005, RunLoopMode::Common, false, [&] {
            ++count;
            end(timer);
        });
        runFirings(4);
        EXPECT_EQ(count, 1);
    }
    int count = 0;
    counting(count).reset();
    runFirings(3);
    EXPECT_EQ(count, 0);
}

TEST_F(TimerTest, MenuTrackingHoldsOnlyDefaultModeTimers) {
    int common = 0;
    int defaultMode = 0;
    const auto a = counting(common);
    const auto b = counting(defaultMode, RunLoopMode::Default);
    MenuTracking::end();  // unbalanced: must not cancel the next begin
    MenuTracking::begin();
    MenuTracking::begin();
    MenuTracking::end();
    ASSERT_TRUE(MenuTracking::active());  // nested: one end() is not enough
    ASSERT_TRUE(QTest::qWaitFor([&] { return common >= 4; }));
    EXPECT_EQ(defaultMode, 0);

    MenuTracking::end();
    ASSERT_FALSE(MenuTracking::active());
    // The firings missed while tracking are not made up in a burst.
    QCoreApplication::processEvents();
    EXPECT_LE(defaultMode, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return defaultMode >= 2; }));
}
