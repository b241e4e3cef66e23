#include "FakePortal.h"

#include <QDBusError>

FakePortal::FakePortal(QDBusConnection bus, uint colorScheme, bool hasReadOne)
    : bus(bus), scheme(colorScheme), hasReadOne(hasReadOne) {
    serving = this->bus.registerObject(
                  "/org/freedesktop/portal/desktop", this,
                  QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
              this->bus.registerService("org.freedesktop.portal.Desktop");
}

void FakePortal::setColorScheme(uint colorScheme) {
    scheme = colorScheme;
    emit SettingChanged("org.freedesktop.appearance", "color-scheme", QDBusVariant(scheme));
}

QDBusVariant FakePortal::ReadOne(const QString& group, const QString& key,
                                 const QDBusMessage& message) {
    if (!hasReadOne) {
        message.setDelayedReply(true);
        bus.send(message.createErrorReply(QDBusError::UnknownMethod, "No such method ReadOne"));
        return {};
    }
    if (!knows(group, key, message)) {
        return {};
    }
    return QDBusVariant(scheme);
}

QDBusVariant FakePortal::Read(const QString& group, const QString& key,
                              const QDBusMessage& message) {
    if (!knows(group, key, message)) {
        return {};
    }
    return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme)));
}

bool FakePortal::knows(const QString& group, const QString& key, const QDBusMessage& message) {
    if (group == "org.freedesktop.appearance" && key == "color-scheme") {
        return true;
    }
    message.setDelayedReply(true);
    bus.send(message.createErrorReply("org.freedesktop.portal.Error.NotFound", "Unknown setting"));
    return false;
}

#include "moc_FakePortal.cpp"
