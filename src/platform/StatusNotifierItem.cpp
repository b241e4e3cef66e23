#include "platform/StatusNotifierItem.h"

#include "platform/StatusItem.h"
#include "statusnotifieritemadaptor.h"

namespace platform {

StatusNotifierItem::StatusNotifierItem(StatusItem& item) : item(item) {
    new StatusNotifierItemAdaptor(this);
}

QDBusObjectPath StatusNotifierItem::menu() const {
    return QDBusObjectPath(item.menuPath());
}

IconPixmapList StatusNotifierItem::iconPixmap() const {
    return item.iconPixmaps();
}

ToolTip StatusNotifierItem::toolTip() const {
    return {{}, {}, item.toolTip(), {}};
}

// Every click a host forwards opens the menu: some call Activate for a left click whatever
// ItemIsMenu says, some show no exported menu and call ContextMenu.
void StatusNotifierItem::ContextMenu(int x, int y) {
    item.popUpMenu({x, y});
}

void StatusNotifierItem::Activate(int x, int y) {
    item.popUpMenu({x, y});
}

void StatusNotifierItem::SecondaryActivate(int x, int y) {
    item.popUpMenu({x, y});
}

void StatusNotifierItem::Scroll(int, const QString&) {}

}  // namespace platform
