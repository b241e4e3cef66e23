#include "PrivateBus.h"

PrivateBus::PrivateBus() {
    daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    while (daemon.waitForStarted(5000) && !daemon.canReadLine() && daemon.waitForReadyRead(5000)) {
    }
    busAddress = QString::fromUtf8(daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    for (int i = 0; i < connections; ++i) {
        QDBusConnection::disconnectFromBus(QString("private-bus-%1-%2").arg(quintptr(this)).arg(i));
    }
    stop();
}

void PrivateBus::stop() {
    daemon.terminate();
    daemon.waitForFinished(5000);
}

QDBusConnection PrivateBus::connect() {
    const QString name = QString("private-bus-%1-%2").arg(quintptr(this)).arg(connections++);
    return QDBusConnection::connectToBus(busAddress, name);
}

std::shared_ptr<platform::BusConnection> PrivateBus::itemBus() const {
    return std::make_shared<platform::BusConnection>(busAddress);
}
