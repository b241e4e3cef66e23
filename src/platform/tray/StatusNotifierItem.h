#pragma once

#include <QPoint>
#include <QString>

#include "platform/tray/BusConnection.h"
#include "platform/tray/DBusTypes.h"

namespace platform {

// The org.kde.StatusNotifierItem object at `path` on the item's bus, under the protocol's own
// names; reads everything from its source and only forwards.
class StatusNotifierItem {
  public:
    static constexpr const char* interface = "org.kde.StatusNotifierItem";

    // What the object serves, read anew on every property read.
    class Source {
      public:
        virtual const IconPixmapList& iconPixmaps() const = 0;
        virtual const QString& toolTip() const = 0;
        virtual QString menuPath() const = 0;
        // A click the host forwards, at a point on the screen or (0, 0) when it gives none.
        // False when the item cannot put a menu of its own there.
        virtual bool popUpMenu(QPoint position) = 0;

      protected:
        ~Source() = default;
    };

    StatusNotifierItem(Source& item, BusConnection& bus, const char* path);
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // The no-argument change signals: "NewIcon", "NewToolTip", "NewTitle".
    void emitSignal(const char* member);

  private:
    BusConnection& bus;
    const char* path;
    BusSlot slot;
};

}  // namespace platform
