#pragma once

#include <QMenu>
#include <QPoint>

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

    void popup(QPoint position);
    QMenu& widget();

  private:
    void addAction(const std::shared_ptr<MenuItem>& item);

    MenuSession session;
    QMenu menu;
};

}  // namespace platform
