#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The structured types of the StatusNotifierItem and DBusMenu protocols, with their D-Bus
// marshalling. Field order is the wire order.
namespace platform {

// One icon image (iiay): width, height and ARGB32 pixels in network byte order.
struct IconPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using IconPixmapList = QList<IconPixmap>;

// (sa(iiay)ss): icon name, icon images, title, description.
struct ToolTip {
    QString iconName;
    IconPixmapList iconPixmap;
    QString title;
    QString description;
};

// (ia{sv}av): an entry, its properties and its children, each child wrapped in a variant.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

// (ia{sv})
struct DBusMenuItem {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemList = QList<DBusMenuItem>;

// (ias): property names of one entry.
struct DBusMenuItemKeys {
    int id = 0;
    QStringList properties;
};
using DBusMenuItemKeysList = QList<DBusMenuItemKeys>;

// (isvu): one event of EventGroup.
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

// aas: key combinations, each a list of modifiers and the key, e.g. [["Control", "p"]].
using DBusMenuShortcut = QList<QStringList>;

// Makes the types above known to QtDBus; safe to call more than once.
void registerDBusTypes();

QDBusArgument& operator<<(QDBusArgument& arg, const IconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& arg, IconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& arg, const ToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& arg, ToolTip& toolTip);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemKeys& keys);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& keys);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& event);

}  // namespace platform

Q_DECLARE_METATYPE(platform::IconPixmap)
Q_DECLARE_METATYPE(platform::ToolTip)
Q_DECLARE_METATYPE(platform::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(platform::DBusMenuItem)
Q_DECLARE_METATYPE(platform::DBusMenuItemKeys)
Q_DECLARE_METATYPE(platform::DBusMenuEvent)
