#include "platform/drawing/Appearance.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QPalette>

#include "platform/drawing/Contrast.h"

namespace platform {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString schemeKey = QStringLiteral("color-scheme");
constexpr uint preferDark = 1;

// Read wraps the value in one more variant than ReadOne does.
QVariant unwrapped(QVariant value) {
    while (value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value;
}

bool alwaysDark(const QString& desktops) {
    const QStringList names = desktops.split(':');
    // GNOME's Classic and Flashback sessions draw light panels. Under sway both bars that come
    // with it, swaybar and Waybar, are dark with white text.
    return names.contains("XFCE") || names.contains("X-Cinnamon") || names.contains("sway") ||
           (names.contains("GNOME") && !names.contains("GNOME-Classic") &&
            !names.contains("GNOME-Flashback"));
}

// Below this the light label (white) has more contrast than the dark one (blue, luminance 0.074):
// (1 + 0.05) / (L + 0.05) = (L + 0.05) / (0.074 + 0.05) at L = 0.31.
constexpr double lightTextBelow = 0.31;

}  // namespace

Appearance::Appearance(QDBusConnection bus, const QString& desktops)
    : bus(bus), panelAlwaysDark(alwaysDark(desktops)) {
    // QtDBus finds the slot's argument types by name, which works only once they are registered.
    qRegisterMetaType<QDBusVariant>();
    this->bus.connect(portalService, portalPath, settingsInterface,
                      QStringLiteral("SettingChanged"), this,
                      SLOT(settingChanged(QString, QString, QDBusVariant)));
    read(QStringLiteral("ReadOne"));
}

bool Appearance::isDark() const {
    if (panelColour.isValid()) {
        return luminance(panelColour) < lightTextBelow;
    }
    if (panelAlwaysDark) {
        return true;
    }
    if (colorScheme) {
        return *colorScheme == preferDark;
    }
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QColor Appearance::panelBackground() const {
    return panelColour;
}

void Appearance::setPanelBackground(const QColor& background) {
    const bool wasDark = isDark();
    panelColour = background;
    if (isDark() != wasDark) {
        emit changed();
    }
}

void Appearance::read(const QString& method) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, method);
    call << appearanceGroup << schemeKey;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher* w) { readFinished(w, method); });
}

void Appearance::readFinished(QDBusPendingCallWatcher* watcher, const QString& method) {
    watcher->deleteLater();
    const QDBusPendingReply<QDBusVariant> reply = *watcher;
    if (!reply.isError()) {
        setScheme(reply.argumentAt<0>().variant());
    } else if (method == QStringLiteral("ReadOne") &&
               reply.error().type() == QDBusError::UnknownMethod) {
        read(QStringLiteral("Read"));  // portals before version 2 only have Read
    }
}

void Appearance::settingChanged(const QString& group, const QString& key,
                                const QDBusVariant& value) {
    if (group == appearanceGroup && key == schemeKey) {
        setScheme(value.variant());
    }
}

void Appearance::setScheme(const QVariant& value) {
    bool ok = false;
    const uint scheme = unwrapped(value).toUInt(&ok);
    if (!ok || colorScheme == scheme) {
        return;
    }
    colorScheme = scheme;
    emit changed();
}

}  // namespace platform

#include "moc_Appearance.cpp"
