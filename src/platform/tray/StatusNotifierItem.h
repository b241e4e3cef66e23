#pragma once

#include <QString>

struct sd_bus_slot;

namespace platform {

class BusConnection;
class StatusItem;

// The org.kde.StatusNotifierItem object at `path` on the item's bus, under the protocol's own
// names; reads everything from the status item and only forwards.
class StatusNotifierItem {
  public:
    static constexpr const char* interface = "org.kde.StatusNotifierItem";

    StatusNotifierItem(StatusItem& item, BusConnection& bus, const char* path);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // The no-argument change signals: "NewIcon", "NewToolTip", "NewTitle".
    void emitSignal(const char* member);

    StatusItem& item;

  private:
    BusConnection& bus;
    const char* path;
    sd_bus_slot* slot;
};

}  // namespace platform
