#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>
#include <atomic>
#include <mutex>

// Plays power-profiles-daemon on a test bus under one of its two bus names: answers Get of
// ActiveProfile and announces changes with PropertiesChanged.
class FakePowerProfiles : public QDBusVirtualObject {
  public:
    // Current: org.freedesktop.UPower.PowerProfiles; Legacy: net.hadess.PowerProfiles.
    enum class Name { Current, Legacy };

    FakePowerProfiles(QDBusConnection connection, Name name, QString activeProfile = "balanced");
    ~FakePowerProfiles() override;

    bool isRegistered() const { return registered; }
    // Sends the new value in the signal's changed properties.
    void setActiveProfile(const QString& profile);
    // Sends the property as invalidated, so that listeners have to ask for the new value.
    void invalidateActiveProfile(const QString& profile);
    // How many Get calls were answered.
    int getCalls() const { return gets; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  private:
    void store(const QString& profile);
    void announce(const QVariantMap& changed, const QStringList& invalidated);

    QDBusConnection connection;
    QString service;
    QString path;
    bool registered = false;
    mutable std::mutex lock;  // QtDBus may call handleMessage on its own thread
    QString profile;
    std::atomic<int> gets = 0;
};
