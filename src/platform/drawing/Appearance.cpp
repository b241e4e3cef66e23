#include "platform/drawing/Appearance.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QPalette>
#include <cmath>

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
    // GNOME's Classic and Flashback sessions draw light panels.
    return names.contains("XFCE") || (names.contains("GNOME") && !names.contains("GNOME-Classic") &&
                                      !names.contains("GNOME-Flashback"));
}

double linear(float channel) {
    return channel <= 0.04045f ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

// Relative luminance, 0 for black to 1 for white, as contrast ratios are computed from it.
double luminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
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
    if (panelBackground.isValid()) {
        return luminance(panelBackground) < lightTextBelow;
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

void Appearance::setPanelBackground(const QColor& background) {
    const bool wasDark = isDark();
    panelBackground = background;
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
