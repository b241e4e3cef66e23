#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>

#include "PrivateBus.h"

TEST(PrivateBus, StartsADaemonThatConnectionsCanReach) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    auto a = bus.connect();
    auto b = bus.connect();
    ASSERT_TRUE(a.isConnected());
    ASSERT_TRUE(b.isConnected());
    EXPECT_NE(a.baseService(), b.baseService());
    EXPECT_TRUE(a.interface()->isServiceRegistered(b.baseService()));
}
