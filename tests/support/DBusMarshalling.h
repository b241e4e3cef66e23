#pragma once

#include <QDBusArgument>
#include <QMetaType>

#include "platform/tray/DBusTypes.h"

// How a panel written with QtDBus reads the item's structured types, for the fake panel.
namespace platform {

// (sa(iiay)ss): icon name, icon images, title, description.
struct ToolTip {
    QString iconName;
    IconPixmapList iconPixmap;
    QString title;
    QString description;
};

// Makes the types known to QtDBus; safe to call more than once.
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

}  // namespace platform

Q_DECLARE_METATYPE(platform::IconPixmap)
Q_DECLARE_METATYPE(platform::ToolTip)
Q_DECLARE_METATYPE(platform::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(platform::DBusMenuItem)
Q_DECLARE_METATYPE(platform::DBusMenuItemKeys)
