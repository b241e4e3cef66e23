#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <memory>

#include "platform/tray/BusConnection.h"

// A dbus-daemon of the test's own, so D-Bus tests touch no real session or system bus. Can pose
// as either: hand address() to a child as DBUS_SESSION_BUS_ADDRESS or DBUS_SYSTEM_BUS_ADDRESS.
class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();

    bool isRunning() const { return !busAddress.isEmpty(); }
    const QString& address() const { return busAddress; }
    // A new connection of its own on this bus; each call gives a distinct unique name.
    QDBusConnection connect();
    // A connection of the kind the status item serves on.
    std::shared_ptr<platform::BusConnection> itemBus() const;
    // Ends the daemon, as the end of a session does; every connection to it drops.
    void stop();

  private:
    QProcess daemon;
    QString busAddress;
    int connections = 0;
};
