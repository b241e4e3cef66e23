#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

#include "platform/drawing/Geometry.h"
#include "platform/drawing/View.h"
#include "platform/tray/BusConnection.h"
#include "platform/tray/DBusTypes.h"
#include "platform/tray/Menu.h"

struct sd_bus_message;
struct sd_bus_slot;

namespace platform {

class BusConnection;
class StatusItem;
class StatusNotifierItem;
class DBusMenuExporter;
class PopupMenu;
class XEmbedTray;

// The area of the status item that hosts its view; as wide as the item's length and as high as
// the panel's status area (22 points).
class StatusButton {
  public:
    Rect bounds() const;
    // The view's images become the item's icon; a view with the width- and height-sizable mask
    // follows the button's size.
    void addSubview(View& view);
    void setToolTip(const QString& text);

  private:
    friend class StatusItem;
    explicit StatusButton(StatusItem& item) : item(item) {}
    StatusItem& item;
};

// The one item in the panel's tray, exported as a StatusNotifierItem on `bus`.
class StatusItem : public QObject {
    Q_OBJECT

  public:
    static constexpr double thickness = 22.0;

    explicit StatusItem(double length,
                        std::shared_ptr<BusConnection> bus = BusConnection::session());
    ~StatusItem() override;

    // Null when the item has no button.
    StatusButton* button();
    double length() const;
    void setLength(double length);
    // A click on the item opens the menu.
    void setMenu(std::unique_ptr<Menu> menu);
    Menu* menu() const;
    // Opens the menu as a popup of our own at `position` on the screen, or at the cursor for
    // (0, 0), for hosts that ask the item to show its menu instead of showing the exported one.
    // Needs a widget application; without one there is no popup.
    void popUpMenu(QPoint position);

    // What the panel is shown: the icon of the last painted frame (the view's images, then its
    // square variant's), the tooltip, the menu's path.
    const IconPixmapList& iconPixmaps() const;
    const QString& toolTip() const;
    QString menuPath() const;
    // The bus name the item is registered under.
    const QString& serviceName() const;
    // The DBusMenu export of the menu; null before setMenu.
    DBusMenuExporter* menuExporter() const;

    // The images of one frame as the panel takes them: non-premultiplied ARGB32, network byte
    // order, in the images' order.
    static IconPixmapList toIconPixmaps(const std::vector<QImage>& images);

  private:
    friend class StatusButton;
    void attachView(View& view);
    void setToolTip(const QString& text);
    void exportFrame();
    void watcherChanged(const QString& owner);
    void registerWithWatcher();
    static int watcherOwnerChanged(sd_bus_message* signal, void* item);
    static int registrationFinished(sd_bus_message* reply, void* item);
    void showFallback();

    std::shared_ptr<BusConnection> bus;
    double itemLength;
    StatusButton statusButton{*this};
    std::unique_ptr<Menu> itemMenu;
    std::unique_ptr<DBusMenuExporter> exporter;
    std::unique_ptr<PopupMenu> popup;
    std::unique_ptr<StatusNotifierItem> object;
    std::unique_ptr<XEmbedTray> fallback;
    QString itemService;
    sd_bus_slot* watcherMatch = nullptr;
    // The latest registration call; only its answer tells whether a panel shows the item.
    sd_bus_slot* registration = nullptr;
    QPointer<View> view;
    // The last exported frame; a frame with the same pixels is not sent again.
    IconPixmapList pixmaps;
    QString toolTipText;
};

}  // namespace platform
