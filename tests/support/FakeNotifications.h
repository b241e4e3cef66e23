#pragma once

#include <QDBusConnection>
#include <QStringList>
#include <QVariantMap>

// A notification server on a given bus, for tests; keeps "app: summary" of each notification.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    explicit FakeNotifications(QDBusConnection bus) {
        bus.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots);
        bus.registerService("org.freedesktop.Notifications");
    }
    QStringList shown;

  public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString&,
                const QStringList&, const QVariantMap&, int) {
        shown << app + ": " + summary;
        return uint(shown.size());
    }
};
