#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QTest>
#include <QVariant>
#include <functional>

#include "platform/tray/DBusTypes.h"

// A panel host on a given bus, for tests: plays org.kde.StatusNotifierWatcher, takes item
// registrations, reads the item and its DBusMenu and sends menu events, counting what the item
// signals. Calls to the item run a local event loop, so the item may live in the same thread.
class FakePanel : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER host)

  public:
    explicit FakePanel(QDBusConnection bus);
    ~FakePanel() override;

    // Claims the watcher name; false when another watcher holds it, unless `replace`: then it
    // takes the name over without a gap, as a panel started with --replace does. stop() gives it
    // up, as a crashing panel would; start() again plays the restarted panel.
    bool start(bool replace = false);
    void stop() { bus.unregisterService("org.kde.StatusNotifierWatcher"); }

    QStringList registeredItems() const { return items; }  // since the last start(), in order
    // Whether a host shows the items: yes unless switched off; switched on, it says so.
    void setHostRegistered(bool on) {
        if ((host = on)) {
            emit StatusNotifierHostRegistered();
        }
    }
    // A host that announces itself before a registration is answered, as GNOME's extension may.
    bool hostAnnouncedOnRegistration = false;
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
        return QTest::qWaitFor(condition, timeoutMs);
    }
    bool waitForItem(int count = 1) {  // until `count` items registered
        return waitFor([&] { return items.size() >= count; });
    }

    // The item: the last registered one, at /StatusNotifierItem. Invalid QVariant on failure.
    QVariant itemProperty(const QString& name);
    platform::IconPixmapList iconPixmaps();
    QString menuPath() { return itemProperty("Menu").value<QDBusObjectPath>().path(); }
    bool callItem(const QString& method, const QVariantList& args);

    // The item's menu at menuPath(). Event(id, eventId, 0, 0) awaits the call's reply.
    platform::DBusMenuLayoutItem menuLayout(const QStringList& names = {});
    uint menuRevision();
    platform::DBusMenuItemList groupProperties(const QList<int>& ids, const QStringList& names);
    bool sendEvent(int id, const QString& eventId);
    bool click(int id) { return sendEvent(id, "clicked"); }
    bool aboutToShow(int id = 0);

    // Signals seen from the item and its menu since the last resetCounts(); the menu's property
    // updates as each ItemsPropertiesUpdated's changed and removed properties, by entry id.
    int newIcons = 0;
    int newToolTips = 0;
    int layoutUpdates = 0;
    QList<platform::DBusMenuItemList> propertyUpdates;
    QList<platform::DBusMenuItemKeysList> propertyRemovals;
    void resetCounts();

  public slots:
    void RegisterStatusNotifierItem(const QString& service);

  signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();
    // The item announced a new icon or tooltip.
    void itemChanged();

  private slots:
    void onNewIcon() {
        ++newIcons;
        emit itemChanged();
    }
    void onNewToolTip() {
        ++newToolTips;
        emit itemChanged();
    }
    void onLayoutUpdated(uint, int) { ++layoutUpdates; }
    // (a(ia{sv})a(ias)), read from the message: the panel registers none of the menu's types.
    void onItemsPropertiesUpdated(const QDBusMessage& signal);

  private:
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args);
    void listenTo(const QString& service);

    QDBusConnection bus;
    QStringList items;
    bool host = true;
    QString listenedService;
};
