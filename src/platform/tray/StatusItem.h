#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <memory>

#include "platform/drawing/Geometry.h"
#include "platform/drawing/View.h"
#include "platform/tray/BusConnection.h"
#include "platform/tray/DBusTypes.h"
#include "platform/tray/Menu.h"
#include "platform/tray/StatusNotifierItem.h"
#include "platform/tray/TrayHost.h"

namespace platform {

class StatusItem;
class DBusMenuExporter;
class PopupMenu;
class TrayRegistration;
class XEmbedIcon;

// The area of the status item that hosts its view; as wide as the item's length and as high as
// the panel's status area (22 points).
class StatusButton {
  public:
    Rect bounds() const;
    // The view's images become the item's icon; a view that follows the button's size is
    // resized with the item's length.
    void addSubview(View& view);
    void setToolTip(const QString& text);

  private:
    friend class StatusItem;
    explicit StatusButton(StatusItem& item) : item(item) {}
    StatusItem& item;
};

// The one item in the panel's tray: exported as a StatusNotifierItem on `bus`, or on X11 an
// XEmbed icon that draws the view itself (see TrayRegistration for which).
class StatusItem : public QObject, private StatusNotifierItem::Source {
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
    // Opens the menu as a popup of our own beside the panel, at `position` along it, or at the
    // cursor for (0, 0), for hosts that ask the item to show its menu instead of showing the
    // exported one.
    // Needs a widget application; without one there is no popup. False on Wayland, where a
    // window cannot place itself: a popup without a parent surface would open wherever the
    // compositor puts new windows.
    bool popUpMenu(QPoint position) override;

    // What the panel is shown: the icon of the last painted frame (the view's images, then its
    // square variant's), the tooltip, the menu's path. Reading the icon answers the last NewIcon.
    const IconPixmapList& iconPixmaps() override;
    const QString& toolTip() const override;
    QString menuPath() const override;
    // The bus name the item is registered under.
    const QString& serviceName() const;
    // The DBusMenu export of the menu; null before setMenu.
    DBusMenuExporter* menuExporter() const;

  private:
    friend class StatusButton;
    void popUpMenuAt(QRect item);
    void attachView(View& view);
    void setToolTip(const QString& text);
    void exportFrame();
    bool shows(const QList<QSize>& changed) const;
    void paintFrames(bool paint);
    void dress(XEmbedIcon& icon);
    void surfaceChanged();

    std::shared_ptr<BusConnection> bus;
    double itemLength;
    StatusButton statusButton{*this};
    std::unique_ptr<Menu> itemMenu;
    std::unique_ptr<DBusMenuExporter> exporter;
    std::unique_ptr<PopupMenu> popup;
    std::unique_ptr<StatusNotifierItem> object;
    QString itemService;
    std::unique_ptr<TrayRegistration> tray;
    QPointer<View> view;
    // The last exported frame; a frame with the same pixels is not sent again.
    IconPixmapList pixmaps;
    // A NewIcon the panel has not answered by reading the icon, and the frames since the last
    // NewIcon (counted up to where they no longer matter).
    bool newIconUnread = false;
    int framesSinceNewIcon = 0;
    // What the panel can show, and whether this pass's frame is painted: one that cannot go out
    // yet is not.
    TrayHost host;
    bool paintingFrame = true;
    // A frame changed since the last NewIcon and the last read.
    bool frameHeld = false;
    QString toolTipText;
};

}  // namespace platform
