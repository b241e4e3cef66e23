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
#include <vector>

#include "platform/drawing/View.h"

namespace platform {

// The item as an icon of an X11 system tray: a window of our own that the tray embeds (XEmbed),
// with the default visual, painted with the view at the height the tray gives it. The window has
// no usable transparent background there, so it paints the panel's background itself: what the
// window showed right after docking, and, when the pixels around it change (a new panel theme,
// light or dark), a background rebuilt from them: the panel's rows above and below the icon, or
// for an icon as high as the panel (MATE's), its columns left and right of it. Docks again
// whenever a new tray appears.
class XEmbedTray : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

  public:
    XEmbedTray();
    ~XEmbedTray() override;

    // An X11 session (Qt on xcb, 32-bit pixels) and a widget application to draw the popup.
    static bool available();
    // The process that owns the tray's selection, as the X server knows it; 0 without a tray or
    // when the server cannot tell (a remote client, no X-Resource extension).
    static qint64 trayOwnerPid();
    // The process that composites the screen (owns _NET_WM_CM_S<n>); 0 for none.
    static qint64 compositorPid();
    // The top-level window under the pointer on the screen, null for none: right after a click
    // on the item, the panel that holds it.
    static QRect topLevelAtPointer();

    // The icon follows `view`: its size is what the window asks the tray for, and every display
    // pass of it is painted again at the window's size.
    void setView(View& view);
    void setToolTip(const QString& text);
    // Docks with the tray, now or when one appears; hide takes the icon out again.
    void show();
    void hide();

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

  signals:
    // A left or right click on the icon, and where the icon is on the screen.
    void clicked(const QRect& icon);
    // A tray appeared or went away, whether the icon is shown or not.
    void trayChanged();
    // The mean colour of the panel behind the icon, when first seen and when it changed; an
    // invalid colour when the icon left the tray.
    void backgroundChanged(const QColor& colour);

  private:
    // The panel's pixel rows above and below the icon, or where it has none, its pixel columns
    // left and right of it.
    struct Surroundings {
        QImage above;
        QImage below;
        QImage left;
        QImage right;
        bool operator==(const Surroundings&) const = default;
    };

    QSize itemSize() const;
    void dock();
    void undock();
    void requestSize();
    void trayEvent(const xcb_generic_event_t* event);
    bool iconEvent(const xcb_generic_event_t* event);
    void resized(QSize size);
    void takeBackground();
    void checkSurroundings();
    Surroundings surroundings() const;
    QImage rebuilt(const Surroundings& pixels) const;
    void setBackground(const QImage& image);
    void paint();
    void present();

    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    uint8_t depth = 0;
    xcb_atom_t selection = XCB_ATOM_NONE;
    xcb_atom_t managerAtom = XCB_ATOM_NONE;
    xcb_window_t manager = XCB_WINDOW_NONE;
    // The icon's window, its graphics context, and the tray's top-level window that holds it.
    xcb_window_t window = XCB_WINDOW_NONE;
    xcb_gcontext_t gc = 0;
    xcb_window_t panel = XCB_WINDOW_NONE;
    bool shown = false;
    QSize windowSize;
    QSize requested;
    QPointer<View> view;
    // The panel as it shows behind the icon, and its pixels around the icon, which tell when its
    // look changed.
    QImage background;
    Surroundings around;
    QImage frame;
    // The part of `frame` the view is drawn into, over the background.
    QImage scene;
    QTimer watch;
    QString toolTipText;
    QTimer toolTipDelay;
    QPoint pointer;
};

}  // namespace platform
