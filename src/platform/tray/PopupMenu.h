#pragma once

#include <QMenu>
#include <QPoint>
#include <QRect>

#include "platform/tray/Menu.h"
#include "platform/tray/MenuSession.h"

namespace platform {

// The status menu as a popup of our own, for hosts that do not show the exported one: the same
// entries, titles, states and enabled flags, kept live from the Menu.
class PopupMenu : public QObject {
    Q_OBJECT

  public:
    explicit PopupMenu(Menu& menu);
    ~PopupMenu() override;

    // Opens the menu as the panel's own menus open: beside the panel (below one in the screen's
    // top half, above one in its bottom half, on the inner side of an upright one), from the start
    // of `item` along it, within the part of the screen that panels leave free; dark where the
    // item is drawn for a dark panel. The panel is the band of the screen's edge that the free
    // part leaves where the item is, else `panel` when that is a strip along the edge, else the
    // item itself.
    void popup(QRect item, QRect panel, bool dark);
    // Where a menu of `size` opens for that on `screen`, of which `free` is left by panels. A
    // window that is no strip along the screen's edge (a tooltip, a desktop, a tray's container
    // moved under the pointer) is not taken for the panel.
    static QPoint placement(QRect item, QRect panel, QRect screen, QRect free, QSize size);
    QMenu& widget();

  private:
    void addAction(const std::shared_ptr<MenuItem>& item);

    MenuSession session;
    QMenu menu;
};

}  // namespace platform
