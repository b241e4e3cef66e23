#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "platform/tray/BusConnection.h"
#include "platform/tray/DBusTypes.h"

namespace platform {

// The com.canonical.dbusmenu object at `path` on the item's bus, under the protocol's own names;
// forwards calls to its source and sends the signals it asks for.
class DBusMenuObject {
  public:
    static constexpr const char* interface = "com.canonical.dbusmenu";

    // The protocol's operations, as the menu's exporter answers them.
    class Source {
      public:
        virtual uint revision() const = 0;
        virtual DBusMenuLayoutItem layout(int parentId, int depth,
                                          const QStringList& names) const = 0;
        virtual DBusMenuItemList groupProperties(const QList<int>& ids,
                                                 const QStringList& names) const = 0;
        virtual QVariant itemProperty(int id, const QString& name) const = 0;
        // False when no entry has the id.
        virtual bool handleEvent(int id, const QString& eventId) = 0;
        virtual bool aboutToShow(int id) = 0;

      protected:
        ~Source() = default;
    };

    DBusMenuObject(Source& exporter, BusConnection& bus, const char* path);
    DBusMenuObject(const DBusMenuObject&) = delete;
    DBusMenuObject& operator=(const DBusMenuObject&) = delete;

    void layoutUpdated(uint revision, int parent);
    void itemsPropertiesUpdated(const DBusMenuItemList& updated,
                                const DBusMenuItemKeysList& removed);

  private:
    BusConnection& bus;
    const char* path;
    BusSlot slot;
};

}  // namespace platform
