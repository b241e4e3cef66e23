#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <cstdlib>
#include <memory>

namespace platform {

// Questions to the X server on Qt's own connection: the tray's and the compositor's selections,
// the processes that own them, the window under the pointer, the top-level window above another,
// the screen's pixel format. The XEmbed icon, the choice of the item's surface and the popup's
// placement all ask them, so they belong to none of those. Without an X11 display every answer is
// empty: null, zero or an empty rectangle. The replies and pixels at the end are read and written
// on whatever connection asked.
class XServer {
  public:
    XServer() = delete;

    // Qt's connection when it runs on xcb, else null.
    static xcb_connection_t* connection();
    // The screen that DISPLAY names (":0.1" is screen 1); null without one.
    static const xcb_screen_t* screen();
    static xcb_atom_t atom(const QByteArray& name);
    // The system tray's selection on that screen, which the running tray owns.
    static xcb_atom_t traySelection();

    // The process that owns the tray's selection, as the X server knows it; 0 without a tray or
    // when the server cannot tell (a remote client, no X-Resource extension).
    static qint64 trayOwnerPid();
    // The process that composites the screen (owns _NET_WM_CM_S<n>); 0 for none.
    static qint64 compositorPid();
    // Whether the top-level window that holds `window` is one nobody sees: an override-redirect
    // window made fully transparent. A tray that embeds icons so shows them some other way:
    // Plasma's and LXQt's XEmbed proxies turn each into a StatusNotifierItem of their own.
    static bool heldOutOfSight(xcb_window_t window);
    // The top-level window under the pointer, null for none: right after a click on the item,
    // the panel that holds it.
    static QRect topLevelAtPointer();
    // X11's device pixels in Qt's coordinates, which a scale factor (Xft.dpi, QT_SCALE_FACTOR)
    // divides.
    static QRect fromDevice(QRect rect);
    // Whether the screen takes QImage's 32-bit RGB pixels as they are.
    static bool takesRgb32();
    // The top-level window that holds `window` (a child of the root, such as a panel); none for a
    // window on the root itself or one that is gone.
    static xcb_window_t topLevel(xcb_window_t window);

    struct Free {
        void operator()(void* reply) const { std::free(reply); }
    };
    template <typename T>
    using Reply = std::unique_ptr<T, Free>;

    // On any connection: a reply, or null with its error dropped. The windows asked about belong
    // to others and can vanish at any moment.
    template <typename Cookie, typename R>
    static Reply<R> ask(xcb_connection_t* server, Cookie cookie,
                        R* (*reply)(xcb_connection_t*, Cookie, xcb_generic_error_t**)) {
        xcb_generic_error_t* error = nullptr;
        Reply<R> result(reply(server, cookie, &error));
        std::free(error);
        return result;
    }
    // Asks for the pixels of `area` of `drawable`; `image` waits for them. Apart, so that several
    // requests share one round trip.
    static xcb_get_image_cookie_t requestImage(xcb_connection_t* server, xcb_drawable_t drawable,
                                               QRect area);
    // The pixels as 32-bit RGB of `size`; null when the server refused, e.g. for an area not
    // inside the drawable.
    static QImage image(xcb_connection_t* server, xcb_get_image_cookie_t cookie, QSize size);
    // Draws `image` (32-bit) at the top left of `drawable`, in as many requests as the server's
    // request size needs.
    static void putImage(xcb_connection_t* server, xcb_drawable_t drawable, xcb_gcontext_t gc,
                         uint8_t depth, const QImage& image);
};

}  // namespace platform
