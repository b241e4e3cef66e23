#pragma once

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

#include "platform/drawing/View.h"
#include "platform/tray/PanelBackground.h"

namespace platform {

// The item as an icon of an X11 system tray: a window of our own that the tray embeds (XEmbed),
// with the default visual, painted with the view at the height the tray gives it (its square
// variant in a square slot), over the panel's background (PanelBackground), which it checks
// twice a second and whenever the window shows again for a new look of the panel (a new theme,
// light or dark). Docks again whenever a new tray appears or the tray drops it.
class XEmbedIcon : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

  public:
    XEmbedIcon();
    ~XEmbedIcon() override;

    // An X11 session (Qt on xcb, 32-bit pixels) and a widget application to draw the popup.
    static bool available();

    // The icon follows `view`: its size is what the window asks the tray for, and every display
    // pass of it is painted again at the window's size.
    void setView(View& view);
    void setToolTip(const QString& text);
    // Docks with the tray, now or when one appears; hide takes the icon out again.
    void show();
    void hide();
    // The icon's window while it is docked, else none.
    xcb_window_t windowId() const { return window; }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

  signals:
    // A left or right click on the icon, and where the icon is on the screen.
    void clicked(const QRect& icon);
    // A tray appeared or went away, whether the icon is shown or not.
    void trayChanged();
    // The mean colour of the panel behind the icon, when first seen and when it changed; an
    // invalid colour when the icon left the tray.
    void backgroundChanged(const QColor& colour);
    // The tray has embedded the icon's window and shows it; each time it does.
    void embedded();
    // A live tray took the icon out again (unembedded it, or its container went); the icon docks
    // again by itself.
    void dropped();

  private:
    QSize itemSize() const;
    void dock();
    void undock();
    void release();
    void requestSize();
    void trayEvent(const xcb_generic_event_t* event);
    bool windowEvent(const xcb_generic_event_t* event);
    bool iconEvent(const xcb_generic_event_t* event);
    void embed();
    void takeOut();
    void retry();
    void resized(QSize size);
    QRect panelAround() const;
    void followPanel();
    void paint();
    void present();

    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    QSize screenSize;
    uint8_t depth = 0;
    xcb_atom_t selection = XCB_ATOM_NONE;
    xcb_atom_t managerAtom = XCB_ATOM_NONE;
    xcb_window_t manager = XCB_WINDOW_NONE;
    // The icon's window, its graphics context, and the tray's top-level window that holds it.
    xcb_window_t window = XCB_WINDOW_NONE;
    xcb_gcontext_t gc = 0;
    xcb_window_t panel = XCB_WINDOW_NONE;
    bool shown = false;
    // The part of the window the panel shows, which the frames cover.
    QSize windowSize;
    QSize requested;
    QPointer<View> view;
    PanelBackground background;
    QImage frame;
    // The part of `frame` the view is drawn into, over the background.
    QImage scene;
    QTimer watch;
    // Docks a dropped icon again, or drops one that stays unmapped.
    QTimer redock;
    QString toolTipText;
    QTimer toolTipDelay;
    QPoint pointer;
};

}  // namespace platform
