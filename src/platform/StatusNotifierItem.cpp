#include "platform/StatusNotifierItem.h"

#include "platform/StatusItem.h"
#include "statusnotifieritemadaptor.h"

namespace platform {

StatusNotifierItem::StatusNotifierItem(const StatusItem& item) : item(item) {
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

// Hosts that honour ItemIsMenu open the menu themselves and do not call these.
void StatusNotifierItem::ContextMenu(int, int) {}

void StatusNotifierItem::Activate(int, int) {}

void StatusNotifierItem::SecondaryActivate(int, int) {}

void StatusNotifierItem::Scroll(int, const QString&) {}

}  // namespace platform
