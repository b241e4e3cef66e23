#include "platform/tray/BusConnection.h"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <QDBusConnectionInterface>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "TestApp.h"
#include "platform/tray/StatusItem.h"

using platform::BusConnection;

namespace {

int nestedCalls = 0;

// A method whose handler uses the bus again, as a watcher that appears and is registered with
// at once does: the handler's own dispatch must not end the connection.
int reenter(sd_bus_message* call, void* userdata, sd_bus_error*) {
    static_cast<BusConnection*>(userdata)->dispatch();
    ++nestedCalls;
    return sd_bus_reply_method_return(call, "");
}

const sd_bus_vtable reentrantVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Reenter", "", "", reenter, 0),
    SD_BUS_VTABLE_END,
};

TEST(BusConnectionTest, HandlerThatDispatchesAgainKeepsTheConnection) {
    TestApp app;
    PrivateBus bus;
    BusConnection connection(bus.address());
    ASSERT_TRUE(connection.isConnected());
    sd_bus_slot* slot = nullptr;
    ASSERT_GE(sd_bus_add_object_vtable(connection.get(), &slot, "/test", "test.Reentrant",
                                       reentrantVtable, &connection),
              0);

    auto client = bus.connect();
    const auto call = QDBusMessage::createMethodCall(connection.uniqueName(), "/test",
                                                     "test.Reentrant", "Reenter");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(callWithEventLoop(client, call).type(), QDBusMessage::ReplyMessage);
    }
    EXPECT_EQ(nestedCalls, 3);
    EXPECT_TRUE(connection.isConnected()) << qPrintable(connection.errorMessage());
    sd_bus_slot_unref(slot);
}

TEST(BusConnectionTest, NamesAreOwnedOnlyOnce) {
    TestApp app;
    PrivateBus bus;
    BusConnection first(bus.address());
    BusConnection second(bus.address());
    EXPECT_TRUE(first.requestName("org.example.Whale"));
    EXPECT_FALSE(second.requestName("org.example.Whale"));
    first.releaseName("org.example.Whale");
    EXPECT_TRUE(second.requestName("org.example.Whale"));
    EXPECT_NE(first.uniqueName(), second.uniqueName());
}

// The end of the bus closes the connection once; nothing is left polling a dead socket.
TEST(BusConnectionTest, EndOfTheBusClosesTheConnectionAndSaysWhy) {
    TestApp app;
    PrivateBus bus;
    BusConnection connection(bus.address());
    ASSERT_TRUE(connection.isConnected());
    bus.stop();
    EXPECT_TRUE(FakePanel::waitFor([&] { return !connection.isConnected(); }));
    EXPECT_FALSE(connection.errorMessage().isEmpty());
    sd_bus_message* message = nullptr;
    sd_bus_message_new_signal(connection.get(), &message, "/test", "test.Whale", "Spout");
    EXPECT_FALSE(connection.send(message));
}

TEST(BusConnectionTest, UnreachableBusGivesAnUnconnectedItemWithoutACrash) {
    TestApp app;
    const auto connection = std::make_shared<BusConnection>("unix:path=/nonexistent/bus");
    EXPECT_FALSE(connection->isConnected());
    EXPECT_FALSE(connection->errorMessage().isEmpty());
    EXPECT_EQ(connection->get(), nullptr);
    EXPECT_FALSE(connection->requestName("org.example.Whale"));

    platform::StatusItem item(44.0, connection);
    EXPECT_TRUE(item.serviceName().isEmpty());
    item.button()->setToolTip("CPU 5%");
    EXPECT_EQ(item.toolTip(), "CPU 5%");
}

}  // namespace
