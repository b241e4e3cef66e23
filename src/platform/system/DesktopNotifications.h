#pragma once

#include <QString>

#include "platform/tray/BusConnection.h"

namespace platform {

// Desktop notifications (org.freedesktop.Notifications) under the app's name and icon, sent on
// the bus the tray item is offered on: the session that has no tray to show the item is the one
// to tell, and a test's private bus keeps them off the user's desktop. Where no notification
// server runs, the bus starts one if it can; else nothing shows.
class DesktopNotifications {
  public:
    explicit DesktopNotifications(BusConnection& bus) : bus(bus) {}

    // Shows one notification; false when it could not be sent.
    bool show(const QString& summary, const QString& body);

  private:
    BusConnection& bus;
    // The call in flight: its answer, an id or an error, changes nothing.
    BusSlot pending;
};

}  // namespace platform
