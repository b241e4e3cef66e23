#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The structured types of the StatusNotifierItem and DBusMenu protocols. Field order is the wire
// order.
namespace platform {

// One icon image (iiay): width, height and ARGB32 pixels in network byte order.
struct IconPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using IconPixmapList = QList<IconPixmap>;

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

// aas: key combinations, each a list of modifiers and the key, e.g. [["Control", "p"]].
using DBusMenuShortcut = QList<QStringList>;

}  // namespace platform
