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

    // Opens the menu as the panel's own menus open: beside `panel` (below one in the screen's top
    // half, above one in its bottom half, on the inner side of an upright one), from the start
    // of `item` along it, on the screen. Without a panel, beside the item itself.
    void popup(QRect item, QRect panel);
    // Where a menu of `size` opens for that on `screen`. A window that is no strip along the
    // screen's edge (a tooltip, a desktop) is not taken for the panel.
    static QPoint placement(QRect item, QRect panel, QRect screen, QSize size);
    QMenu& widget();

  private:
    void addAction(const std::shared_ptr<MenuItem>& item);

    MenuSession session;
    QMenu menu;
};

}  // namespace platform
