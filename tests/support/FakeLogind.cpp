#include "FakeLogind.h"

#include <QDBusMessage>

namespace {
const QString service = QStringLiteral("org.freedesktop.login1");
}

FakeLogind::FakeLogind(QDBusConnection connection) : connection(std::move(connection)) {
    registered = this->connection.registerService(service);
}

FakeLogind::~FakeLogind() {
    if (registered) {
        connection.unregisterService(service);
    }
}

void FakeLogind::prepareForSleep(bool start) {
    auto signal = QDBusMessage::createSignal("/org/freedesktop/login1",
                                             "org.freedesktop.login1.Manager", "PrepareForSleep");
    signal << start;
    connection.send(signal);
}
