#include "platform/system/DesktopNotifications.h"

namespace platform {

bool DesktopNotifications::show(const QString& summary, const QString& body) {
    const QByteArray title = summary.toUtf8();
    const QByteArray text = body.toUtf8();
    // Notify(app name, replaces id, icon, summary, body, actions, hints, timeout): a new one, no
    // actions, the server's own timeout; the desktop entry lets the server group it with the app.
    pending = bus.callAsync(
        "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "Notify",
        [&](BusMessage& call) {
            return call.append("susssasa{sv}i", "Spoutwise", 0U, SPOUTWISE_APP_ID,
                               title.constData(), text.constData(), 0U, 1U, "desktop-entry", "s",
                               SPOUTWISE_APP_ID, -1);
        },
        [](BusMessage&) {});
    return pending != nullptr;
}

}  // namespace platform
