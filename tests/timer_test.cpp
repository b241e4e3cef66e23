#include "platform/system/Timer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "TestApp.h"

using platform::MenuTracking;
using platform::RunLoopMode;

// Timers fire every interval, never before it (a coarse one may come 5% early), until invalidated
// or dropped, also from their own callback. While the menu is open (tracking calls nest; an
// unbalanced end is ignored) default-mode timers skip their firings and common-mode ones go on.
TEST(Timer, FiresUntilEndedEvenFromItsOwnCallbackAndInDefaultModeNotWhileTheMenuIsOpen) {
    TestApp app;
    platform::TimerFactory factory;
    int common = 0, held = 0, fired = 0;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<platform::Timer> invalidated, dropped;
    const auto a = factory.schedule(0.02, RunLoopMode::Common, false, [&] { ++common; });
    const auto b = factory.schedule(0.005, RunLoopMode::Default, false, [&] { ++held; });
    invalidated = factory.schedule(0.005, RunLoopMode::Common, true, [&] {
        ++fired;
        invalidated->invalidate();
    });
    dropped = factory.schedule(0.005, RunLoopMode::Common, false, [&] {
        ++fired;
        dropped.reset();
    });
    MenuTracking::end();
    MenuTracking::begin();
    MenuTracking::begin();
    MenuTracking::end();
    ASSERT_TRUE(QTest::qWaitFor([&] { return common >= 4; }));
    EXPECT_GE(clock.elapsed(), 4 * 19);
    EXPECT_EQ(held, 0);
    EXPECT_EQ(fired, 2);
    MenuTracking::end();
    EXPECT_TRUE(QTest::qWaitFor([&] { return held >= 2; }));
}
