#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "FakePowerProfiles.h"
#include "PrivateBus.h"
#include "platform/system/PowerMode.h"

using platform::PowerMode;
using Name = FakePowerProfiles::Name;

namespace {

struct PowerModeTest : ::testing::Test {
    int argc = 0;
    QCoreApplication app{argc, nullptr};
    PrivateBus bus;

    void SetUp() override { ASSERT_TRUE(bus.isRunning()); }
};

struct PowerModeNames : PowerModeTest, ::testing::WithParamInterface<Name> {};

}  // namespace

TEST_P(PowerModeNames, ReadsTheProfileAtStartThenFollowsChangesWithoutAskingAgain) {
    FakePowerProfiles daemon(bus.connect(), GetParam(), "power-saver");
    ASSERT_TRUE(daemon.isRegistered());
    PowerMode mode(bus.connect());
    QSignalSpy changes(&mode, &PowerMode::lowPowerModeChanged);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mode.isLowPowerModeEnabled(); }));

    daemon.setActiveProfile("balanced");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mode.isLowPowerModeEnabled(); }));
    daemon.setActiveProfile("power-saver");
    ASSERT_TRUE(QTest::qWaitFor([&] { return mode.isLowPowerModeEnabled(); }));
    EXPECT_FALSE(changes.at(changes.count() - 2).at(0).toBool());
    EXPECT_TRUE(changes.last().at(0).toBool());
    QCoreApplication::processEvents();
    EXPECT_EQ(daemon.getCalls(), 1);

    // An invalidated profile is asked for again.
    daemon.invalidateActiveProfile("performance");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mode.isLowPowerModeEnabled(); }));
    EXPECT_EQ(daemon.getCalls(), 2);
}

INSTANTIATE_TEST_SUITE_P(BothBusNames, PowerModeNames,
                         ::testing::Values(Name::Current, Name::Legacy));

TEST_F(PowerModeTest, FollowsTheDaemonStartingLaterAndGoingAwayAndIsOffWithoutIt) {
    PowerMode withoutBus(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nowhere"));
    PowerMode mode(bus.connect());
    QCoreApplication::processEvents();
    EXPECT_FALSE(withoutBus.isLowPowerModeEnabled());
    EXPECT_FALSE(mode.isLowPowerModeEnabled());

    auto daemon = std::make_unique<FakePowerProfiles>(bus.connect(), Name::Current, "power-saver");
    ASSERT_TRUE(QTest::qWaitFor([&] { return mode.isLowPowerModeEnabled(); }));
    daemon.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mode.isLowPowerModeEnabled(); }));
}
