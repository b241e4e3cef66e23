#include "platform/tray/BusConnection.h"

#include <gtest/gtest.h>

#include <QTest>

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
    const char* id = "";
    call.read("s", &id);
    return reply.invalidArguments(QString("no entry %1").arg(id));
}

const platform::BusInterface testInterface{
    "test.Whale",
    {},
    {{"Reenter", "s", "s", "unused\0answer\0", reenter}, {"Refuse", "s", "", "id\0", refuse}},
    {},
};

}  // namespace

// Answers from its table, also in a handler that dispatches again, and at once to a call that
// arrives while it blocks on a call of its own, which reads it: whether that call failed or not.
TEST(BusConnectionTest, AnswersFromItsTableAlsoInHandlersThatDispatchAndWhileItBlocks) {
    TestApp app;
    PrivateBus bus;
    BusConnection connection(bus.address());
    BusConnection client(bus.address());
    const auto slot = connection.addObject("/test", testInterface, &connection);
    const QByteArray served = connection.uniqueName().toUtf8();
    QStringList answers;  // the text of each, marked where the arguments were refused
    const auto send = [&](const char* method, const char* argument) {
        return client.callAsync(
            served, "/test", "test.Whale", method, argument, [&](BusMessage& reply) {
                const char* text = "";
                reply.read("s", &text);
                const bool refused = reply.isError("org.freedesktop.DBus.Error.InvalidArgs");
                answers << QString(refused ? "refused: " : "") + text;
            });
    };
    const platform::BusSlot calls[] = {send("Reenter", ""), send("Reenter", ""),
                                       send("Refuse", "3")};
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers.size() == 3; }));
    EXPECT_EQ(answers, QStringList({"again", "again", "refused: no entry 3"}));

    ASSERT_TRUE(client.requestName("org.example.Taken"));
    for (const QString name : {"org.example.Free", "org.example.Taken"}) {
        const auto call = send("Reenter", "");
        client.releaseName("x.y");  // a round trip: the bus has passed the call on
        EXPECT_EQ(connection.requestName(name), name.endsWith("Free"));
        EXPECT_TRUE(QTest::qWaitFor([&, n = answers.size()] { return answers.size() > n; }));
    }
}

TEST(BusConnectionTest, UnreachableBusGivesAnUnconnectedItemWithoutACrash) {
    TestApp app;
    const auto connection = std::make_shared<BusConnection>("unix:path=/nonexistent/bus");
    EXPECT_FALSE(connection->isConnected());
    EXPECT_FALSE(connection->errorMessage().isEmpty());

    platform::StatusItem item(44.0, connection);
    EXPECT_TRUE(item.serviceName().isEmpty());
    item.button()->setToolTip("CPU 5%");
    EXPECT_EQ(item.toolTip(), "CPU 5%");
}
