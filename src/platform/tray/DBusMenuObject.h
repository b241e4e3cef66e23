#pragma once

#include "platform/tray/DBusTypes.h"

struct sd_bus_slot;

namespace platform {

class BusConnection;
class DBusMenuExporter;

// The com.canonical.dbusmenu object at `path` on the item's bus, under the protocol's own names;
// forwards calls to the exporter and sends the signals it asks for.
class DBusMenuObject {
  public:
    static constexpr const char* interface = "com.canonical.dbusmenu";

    DBusMenuObject(DBusMenuExporter& exporter, BusConnection& bus, const char* path);
    ~DBusMenuObject();
    DBusMenuObject(const DBusMenuObject&) = delete;
    DBusMenuObject& operator=(const DBusMenuObject&) = delete;

    void layoutUpdated(uint revision, int parent);
    void itemsPropertiesUpdated(const DBusMenuItemList& updated,
                                const DBusMenuItemKeysList& removed);

    DBusMenuExporter& exporter;

  private:
    BusConnection& bus;
    const char* path;
    sd_bus_slot* slot;
};

}  // namespace platform
