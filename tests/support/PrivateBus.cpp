#include "PrivateBus.h"

#include <QCoreApplication>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>

PrivateBus::PrivateBus() {
    daemon.setProgram("dbus-daemon");
    daemon.setArguments({"--session", "--nofork", "--nopidfile", "--print-address=1"});
    daemon.start();
    if (!daemon.waitForStarted(5000)) {
        return;
    }
    while (!daemon.canReadLine() && daemon.waitForReadyRead(5000)) {
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

QDBusMessage callWithEventLoop(const QDBusConnection& connection, const QDBusMessage& request,
                               int timeoutMs) {
    // A watcher made after the reply still reports it, so nothing is missed; the call's own
    // timeout ends the wait with an error reply.
    QDBusPendingCallWatcher watcher(connection.asyncCall(request, timeoutMs));
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return watcher.reply();
}
