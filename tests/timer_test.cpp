#include "platform/system/Timer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "TestApp.h"

using platform::MenuTracking;
using platform::RunLoopMode;

// One invalidated or dropped from its own callback fires no more; the others go on, never before
// their interval (a coarse timer may come 5% early).
TEST(Timer, FiresEveryIntervalUntilInvalidatedOrDroppedEvenFromItsOwnCallback) {
    TestApp app;
    platform::TimerFactory factory;
    QElapsedTimer clock;
    clock.start();
    int ticks = 0, fired = 0;
    std::unique_ptr<platform::Timer> invalidated, dropped;
    const auto ticking = factory.schedule(0.02, RunLoopMode::Common, false, [&] { ++ticks; });
    invalidated = factory.schedule(0.005, RunLoopMode::Common, true, [&] {
        ++fired;
        invalidated->invalidate();
    });
    dropped = factory.schedule(0.005, RunLoopMode::Common, false, [&] {
        ++fired;
        dropped.reset();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 5; }));
    EXPECT_GE(clock.elapsed(), 5 * 19);
    EXPECT_EQ(fired, 2);
}

// While the menu is open, default-mode timers skip their firings and common-mode ones go on;
// the firings missed are not made up in a burst afterwards.
TEST(Timer, MenuTrackingHoldsOnlyDefaultModeTimers) {
    TestApp app;
    platform::TimerFactory factory;
    int common = 0, held = 0;
    const auto a = factory.schedule(0.005, RunLoopMode::Common, false, [&] { ++common; });
    const auto b = factory.schedule(0.005, RunLoopMode::Default, false, [&] { ++held; });
    MenuTracking::end();  // unbalanced: must not cancel the next begin
    MenuTracking::begin();
    MenuTracking::begin();
    MenuTracking::end();
    ASSERT_TRUE(QTest::qWaitFor([&] { return common >= 4; }));
    EXPECT_EQ(held, 0);
    MenuTracking::end();
    QCoreApplication::processEvents();
    EXPECT_LE(held, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return held >= 2; }));
}
