#pragma once

#include <QDBusConnection>

// Plays systemd-logind on a test bus: owns org.freedesktop.login1 and sends the manager's
// PrepareForSleep signal on demand.
class FakeLogind {
  public:
    explicit FakeLogind(QDBusConnection connection);
    ~FakeLogind();
    FakeLogind(const FakeLogind&) = delete;
    FakeLogind& operator=(const FakeLogind&) = delete;

    bool isRegistered() const { return registered; }
    // True as the machine is about to sleep, false once it has woken.
    void prepareForSleep(bool start);

  private:
    QDBusConnection connection;
    bool registered = false;
};
