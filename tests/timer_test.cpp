#include "platform/system/Timer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "TestApp.h"

using platform::MenuTracking;
using platform::RunLoopMode;

TEST(Timer, FiresEveryIntervalUntilInvalidatedOrDroppedEvenFromItsOwnCallback) {
    TestApp app;
    platform::TimerFactory factory;
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> firings;
    const auto counting = factory.schedule(0.02, RunLoopMode::Common, false,
                                           [&] { firings.push_back(clock.elapsed()); });
    std::unique_ptr<platform::Timer> invalidated, dropped;
    int fired = 0;
    invalidated = factory.schedule(0.005, RunLoopMode::Common, true, [&] {
        ++fired;
        invalidated->invalidate();
    });
    dropped =
        factory.schedule(0.005, RunLoopMode::Common, false, [&] { ++fired, dropped.reset(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return firings.size() >= 5; }));
    EXPECT_GE(firings[0], 19);  // not before one interval; a coarse timer may come 5% early
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
