#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <array>

namespace platform {

// The system's low-power setting: on while power-profiles-daemon's active profile is
// "power-saver". The profile is cached and kept current from the daemon's PropertiesChanged
// signal and its appearing and vanishing on the bus, so reading it costs no D-Bus round trip.
// No bus or no daemon: off. Lives on the main thread.
class PowerMode : public QObject {
    Q_OBJECT

  public:
    explicit PowerMode(QDBusConnection connection = QDBusConnection::systemBus());

    virtual bool isLowPowerModeEnabled() const;

  signals:
    // isLowPowerModeEnabled() now returns `enabled`.
    void lowPowerModeChanged(bool enabled);

  private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated, const QDBusMessage& message);
    void serviceOwnerChanged(const QString& service, const QString& oldOwner,
                             const QString& newOwner);

  private:
    // One of the daemon's two bus names; each doubles as its interface name.
    struct Source {
        QString service;
        QString path;
        QString activeProfile;
        // Bumped by every change seen, so that a late reply to an older Get is not applied.
        unsigned generation = 0;
    };

    void fetch(Source& source);
    void setProfile(Source& source, const QString& profile);

    QDBusConnection connection;
    std::array<Source, 2> sources;
};

}  // namespace platform
