#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>

#include "platform/tray/DBusTypes.h"

namespace platform {

// (sa(iiay)ss): icon name, icon images, title, description.
struct ToolTip {
    QString iconName;
    IconPixmapList iconPixmap;
    QString title;
    QString description;
};

}  // namespace platform

// A panel host on a given bus, for tests: plays org.kde.StatusNotifierWatcher, takes item
// registrations, reads the item and its DBusMenu and sends menu events, counting what the item
// signals. Calls to the item run a local event loop, so the item may live in the same thread.
class FakePanel : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)

  public:
    explicit FakePanel(QDBusConnection bus);
    ~FakePanel() override;

    // Claims the watcher name; false when another watcher holds it, unless `replace`: then it
    // takes the name over without a gap, as a panel started with --replace does. stop() gives it
    // up, as a crashing panel would; start() again plays the restarted panel.
    bool start(bool replace = false);
    void stop();

    // Bus names of the items registered since the last start(), in order.
    QStringList registeredItems() const { return items; }
    // Runs the event loop until `condition` holds or `timeoutMs` passed; returns the condition.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);
    // Waits until at least `count` items registered.
    bool waitForItem(int count = 1, int timeoutMs = 5000);

    // The item: the last registered one, at /StatusNotifierItem. Invalid QVariant on failure.
    QVariant itemProperty(const QString& name);
    platform::IconPixmapList iconPixmaps();
    platform::ToolTip toolTip();
    QString menuPath();
    // Calls a method of org.kde.StatusNotifierItem, e.g. "Activate" with {0, 0}.
    bool callItem(const QString& method, const QVariantList& args);

    // The item's menu at menuPath().
    platform::DBusMenuLayoutItem menuLayout(const QStringList& names = {});
    uint menuRevision();
    platform::DBusMenuItemList groupProperties(const QList<int>& ids, const QStringList& names);
    // Event(id, eventId, 0, 0); `clicked` etc. The call's reply is awaited.
    bool sendEvent(int id, const QString& eventId);
    bool click(int id) { return sendEvent(id, "clicked"); }
    bool aboutToShow(int id = 0);

    // Signals seen from the item and its menu since the last resetCounts().
    int newIconCount() const { return newIcons; }
    int newToolTipCount() const { return newToolTips; }
    int layoutUpdatedCount() const { return layoutUpdates; }
    int itemsPropertiesUpdatedCount() const { return int(propertyUpdates.size()); }
    // Each ItemsPropertiesUpdated's changed properties, by entry id.
    const QList<platform::DBusMenuItemList>& itemsPropertiesUpdates() const {
        return propertyUpdates;
    }
    const QList<platform::DBusMenuItemKeysList>& itemsPropertiesRemovals() const {
        return propertyRemovals;
    }
    void resetCounts();

  public slots:
    void RegisterStatusNotifierItem(const QString& service);

  signals:
    void StatusNotifierItemRegistered(const QString& service);
    // The item announced a new icon or tooltip.
    void itemChanged();

  private slots:
    void onNewIcon();
    void onNewToolTip();
    void onLayoutUpdated(uint revision, int parent);
    // (a(ia{sv})a(ias)), read from the message: the panel registers none of the menu's types.
    void onItemsPropertiesUpdated(const QDBusMessage& signal);

  private:
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args);
    void listenTo(const QString& service);

    QDBusConnection bus;
    QStringList items;
    QString listenedService;
    int newIcons = 0;
    int newToolTips = 0;
    int layoutUpdates = 0;
    QList<platform::DBusMenuItemList> propertyUpdates;
    QList<platform::DBusMenuItemKeysList> propertyRemovals;
};
