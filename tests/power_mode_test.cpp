#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "FakePowerProfiles.h"
#include "PrivateBus.h"
#include "platform/PowerMode.h"

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

TEST_F(PowerModeTest, NoDaemonOrNoBusMeansOff) {
    PowerMode withoutDaemon(bus.connect());
    PowerMode withoutBus(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nowhere"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(withoutDaemon.isLowPowerModeEnabled());
    EXPECT_FALSE(withoutBus.isLowPowerModeEnabled());
}

TEST_P(PowerModeNames, ReadsPowerSaverAtStart) {
    FakePowerProfiles daemon(bus.connect(), GetParam(), "power-saver");
    ASSERT_TRUE(daemon.isRegistered());
    PowerMode mode(bus.connect());
    EXPECT_TRUE(QTest::qWaitFor([&] { return mode.isLowPowerModeEnabled(); }));
}

TEST_P(PowerModeNames, FollowsChangesWithoutAskingTheDaemonAgain) {
    FakePowerProfiles daemon(bus.connect(), GetParam(), "balanced");
    PowerMode mode(bus.connect());
    QSignalSpy changes(&mode, &PowerMode::lowPowerModeChanged);
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.getCalls() == 1; }));

    daemon.setActiveProfile("power-saver");
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.count() == 1; }));
    EXPECT_TRUE(changes.at(0).at(0).toBool());
    daemon.setActiveProfile("performance");
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.count() == 2; }));
    EXPECT_FALSE(mode.isLowPowerModeEnabled());

    for (int i = 0; i < 100; ++i) {
        mode.isLowPowerModeEnabled();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(daemon.getCalls(), 1);
}

INSTANTIATE_TEST_SUITE_P(BothBusNames, PowerModeNames,
                         ::testing::Values(Name::Current, Name::Legacy));

TEST_F(PowerModeTest, InvalidatedProfileIsAskedForAgain) {
    FakePowerProfiles daemon(bus.connect(), Name::Legacy, "balanced");
    PowerMode mode(bus.connect());
    ASSERT_TRUE(QTest::qWaitFor([&] { return daemon.getCalls() == 1; }));
    daemon.invalidateActiveProfile("power-saver");
    EXPECT_TRUE(QTest::qWaitFor([&] { return mode.isLowPowerModeEnabled(); }));
    EXPECT_EQ(daemon.getCalls(), 2);
}

TEST_F(PowerModeTest, FollowsTheDaemonStartingLaterAndGoingAway) {
    PowerMode mode(bus.connect());
    auto daemon = std::make_unique<FakePowerProfiles>(bus.connect(), Name::Current, "power-saver");
    ASSERT_TRUE(QTest::qWaitFor([&] { return mode.isLowPowerModeEnabled(); }));
    daemon.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mode.isLowPowerModeEnabled(); }));
}
