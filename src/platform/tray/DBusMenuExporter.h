#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>
#include <set>

#include "platform/tray/DBusMenuObject.h"
#include "platform/tray/DBusTypes.h"
#include "platform/tray/Menu.h"
#include "platform/tray/MenuSession.h"

namespace platform {

// Exports a Menu as com.canonical.dbusmenu at `path` on `bus`. The root has id 0 and entry i of
// the menu has id i + 1. Property changes of one event-loop pass go out as one
// ItemsPropertiesUpdated carrying only what changed.
class DBusMenuExporter : public QObject, public DBusMenuObject::Source {
    Q_OBJECT

  public:
    DBusMenuExporter(Menu& menu, std::shared_ptr<BusConnection> bus, QString path);
    ~DBusMenuExporter() override;

    QString path() const;
    MenuSession& session();

    // The protocol's operations, called by the D-Bus object.
    uint revision() const override;
    DBusMenuLayoutItem layout(int parentId, int depth, const QStringList& names) const override;
    DBusMenuItemList groupProperties(const QList<int>& ids,
                                     const QStringList& names) const override;
    QVariant itemProperty(int id, const QString& name) const override;
    bool handleEvent(int id, const QString& eventId) override;
    bool aboutToShow(int id) override;

    // The full property set of an entry as the protocol names it; defaults are left out.
    static QVariantMap properties(const MenuItem& item);

  private:
    std::shared_ptr<MenuItem> itemAt(int id) const;
    void watch(int id);
    void itemAdded();
    void flush();
    void sendUpdates(int id, DBusMenuItemList& updated, DBusMenuItemKeysList& removed);

    std::shared_ptr<BusConnection> bus;
    Menu& menu;
    QByteArray objectPath;
    MenuSession menuSession;
    std::unique_ptr<DBusMenuObject> object;
    uint layoutRevision = 1;
    QTimer mergeTimer;
    std::set<int> dirty;
    // What the panel has last been told about each entry.
    std::map<int, QVariantMap> sent;
};

}  // namespace platform
