#include "platform/tray/BusConnection.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusVariant>

#include "PrivateBus.h"
#include "TestApp.h"
#include "platform/tray/StatusItem.h"

using platform::BusConnection;
using platform::BusMessage;

namespace {

// A handler that uses the bus again, as a watcher that appears and is registered with at once
// does: the handler's own dispatch must not end the connection.
int reenter(BusMessage&, BusMessage& reply, void* connection) {
    static_cast<BusConnection*>(connection)->dispatch();
    return reply.append("s", "again");
}

int refuse(BusMessage& call, BusMessage& reply, void*) {
    int id = 0;
    call.read("i", &id);
    return reply.invalidArguments(QString("no entry %1").arg(id));
}

int getDepth(BusMessage& value, void*) {
    return value.append("u", 7U);
}

const platform::BusInterface testInterface{
    "test.Whale",
    {{"Depth", "u", getDepth}},
    {{"Reenter", "", "s", "answer\0", reenter}, {"Refuse", "i", "", "id\0", refuse}},
    {{"Spout", "", ""}},
};

}  // namespace

TEST(BusConnectionTest, ServesAnInterfaceFromItsTableAndHandlersThatDispatchAgain) {
    TestApp app;
    PrivateBus bus;
    BusConnection connection(bus.address());
    ASSERT_TRUE(connection.isConnected());
    const auto slot = connection.addObject("/test", testInterface, &connection);

    auto client = bus.connect();
    const auto call = [&](const QString& interface, const QString& method,
                          const QVariantList& arguments) {
        auto request =
            QDBusMessage::createMethodCall(connection.uniqueName(), "/test", interface, method);
        request.setArguments(arguments);
        return callWithEventLoop(client, request);
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(call("test.Whale", "Reenter", {}).arguments(), QVariantList{"again"});
    }
    EXPECT_TRUE(connection.isConnected()) << qPrintable(connection.errorMessage());
    const auto depth = call("org.freedesktop.DBus.Properties", "Get", {"test.Whale", "Depth"});
    EXPECT_EQ(depth.arguments().value(0).value<QDBusVariant>().variant(), 7U);
    const auto refused = call("test.Whale", "Refuse", {3});
    EXPECT_EQ(refused.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(refused.errorMessage(), "no entry 3");
}

TEST(BusConnectionTest, UnreachableBusGivesAnUnconnectedItemWithoutACrash) {
    TestApp app;
    const auto connection = std::make_shared<BusConnection>("unix:path=/nonexistent/bus");
    EXPECT_FALSE(connection->isConnected());
    EXPECT_FALSE(connection->errorMessage().isEmpty());
    EXPECT_FALSE(connection->requestName("org.example.Whale"));

    platform::StatusItem item(44.0, connection);
    EXPECT_TRUE(item.serviceName().isEmpty());
    item.button()->setToolTip("CPU 5%");
    EXPECT_EQ(item.toolTip(), "CPU 5%");
}
