#include "platform/tray/XEmbedIcon.h"

#include <QApplication>
#include <QToolTip>
#include <QtMath>
#include <array>
#include <cstring>

#include "platform/tray/XServer.h"

namespace platform {

namespace {

// The system tray protocol's "dock this window", XEmbed's "map me", WM_NORMAL_HINTS' PMinSize.
constexpr uint32_t requestDock = 0;
constexpr uint32_t xembedMapped = 1;
constexpr uint32_t minSizeHint = 16;
constexpr uint8_t leftButton = 1;
constexpr uint8_t rightButton = 3;
// A slot narrower than this many times its height is square: a tray with square icons.
constexpr double squareAspect = 1.5;

QColor windowColour() {
    return QGuiApplication::palette().color(QPalette::Window);
}

}  // namespace

XEmbedIcon::XEmbedIcon() {
    watch.setInterval(500);
    connect(&watch, &QTimer::timeout, this, &XEmbedIcon::followPanel);
    redock.setSingleShot(true);
    redock.setInterval(500);
    connect(&redock, &QTimer::timeout, this, &XEmbedIcon::retry);
    toolTipDelay.setSingleShot(true);
    toolTipDelay.setInterval(700);
    connect(&toolTipDelay, &QTimer::timeout, this,
            [this] { QToolTip::showText(pointer, toolTipText); });
    if (!available()) {
        return;
    }
    connection = XServer::connection();
    const xcb_screen_t* screen = XServer::screen();
    root = screen->root;
    screenSize = QSize(screen->width_in_pixels, screen->height_in_pixels);
    depth = screen->root_depth;
    selection = XServer::traySelection();
    managerAtom = XServer::atom("MANAGER");
    // A new tray announces itself to the root window's structure listeners; add them to what Qt
    // already listens to there.
    const auto attributes = XServer::ask(connection, xcb_get_window_attributes(connection, root),
                                         xcb_get_window_attributes_reply);
    const uint32_t events =
        (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &events);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

XEmbedIcon::~XEmbedIcon() {
    // What listens may be going away with it: nothing is told any more.
    blockSignals(true);
    undock();
}

bool XEmbedIcon::available() {
    // The frames are QImage's 32-bit pixels as they are: the server must take them that way.
    return qobject_cast<QApplication*>(QCoreApplication::instance()) && XServer::takesRgb32();
}

void XEmbedIcon::setView(View& subview) {
    if (view) {
        disconnect(view, &View::displayed, this, &XEmbedIcon::paint);
    }
    view = &subview;
    connect(view, &View::displayed, this, &XEmbedIcon::paint);
    paint();
}

void XEmbedIcon::setToolTip(const QString& text) {
    toolTipText = text;
    if (QToolTip::isVisible() && window != XCB_WINDOW_NONE) {
        QToolTip::showText(pointer, toolTipText);
    }
}

void XEmbedIcon::show() {
    shown = true;
    dock();
}

void XEmbedIcon::hide() {
    shown = false;
    undock();
}

bool XEmbedIcon::nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) {
    if (type != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    trayEvent(event);
    return windowEvent(event) || iconEvent(event);
}

// The view's size in points, or the item's with its label before there is one; the tray keeps
// its aspect.
QSize XEmbedIcon::itemSize() const {
    return view ? QSize(qCeil(view->bounds().width), qCeil(view->bounds().height)) : QSize(44, 22);
}

void XEmbedIcon::dock() {
    if (!connection || !shown || window != XCB_WINDOW_NONE) {
        return;
    }
    const auto owner = XServer::ask(connection, xcb_get_selection_owner(connection, selection),
                                    xcb_get_selection_owner_reply);
    manager = owner ? owner->owner : xcb_window_t(XCB_WINDOW_NONE);
    if (manager == XCB_WINDOW_NONE) {
        return;  // a tray that starts later announces itself
    }
    // Its destruction tells that the tray is gone.
    const uint32_t managerEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_discard_reply(connection, xcb_change_window_attributes_checked(
                                      connection, manager, XCB_CW_EVENT_MASK, &managerEvents)
                                      .sequence);

    redock.stop();
    window = xcb_generate_id(connection);
    const QSize size = itemSize();
    const uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY |
                            XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_ENTER_WINDOW |
                            XCB_EVENT_MASK_LEAVE_WINDOW;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, root, 0, 0, uint16_t(size.width()),
                      uint16_t(size.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    gc = xcb_generate_id(connection);
    xcb_create_gc(connection, gc, window, 0, nullptr);
    const xcb_atom_t info = XServer::atom("_XEMBED_INFO");
    const std::array<uint32_t, 2> embedding{0, xembedMapped};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, info, info, 32, embedding.size(),
                        embedding.data());
    static const char windowClass[] = "spoutwise\0Spoutwise";
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, sizeof windowClass, windowClass);
    requestSize();

    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = manager;
    request.type = XServer::atom("_NET_SYSTEM_TRAY_OPCODE");
    request.data.data32[0] = XCB_CURRENT_TIME;
    request.data.data32[1] = requestDock;
    request.data.data32[2] = window;
    xcb_discard_reply(connection,
                      xcb_send_event_checked(connection, 0, manager, XCB_EVENT_MASK_NO_EVENT,
                                             reinterpret_cast<const char*>(&request))
                          .sequence);
    xcb_flush(connection);
}

void XEmbedIcon::undock() {
    release();
    manager = XCB_WINDOW_NONE;
    redock.stop();
}

// The window goes, and with it all that was known of its place.
void XEmbedIcon::release() {
    if (window != XCB_WINDOW_NONE) {
        xcb_free_gc(connection, gc);
        // Its container may have taken it along already.
        xcb_discard_reply(connection, xcb_destroy_window_checked(connection, window).sequence);
        xcb_flush(connection);
    }
    window = panel = XCB_WINDOW_NONE;
    windowSize = requested = QSize();
    if (!background.image().isNull()) {
        emit backgroundChanged({});
    }
    background = {};
    scene = frame = QImage();
    watch.stop();
    toolTipDelay.stop();
}

// The tray sizes an icon from its minimum size, keeping the aspect, and asks again when it changes.
void XEmbedIcon::requestSize() {
    const QSize size = itemSize();
    if (window == XCB_WINDOW_NONE || size == requested) {
        return;
    }
    requested = size;
    std::array<uint32_t, 18> hints{};
    hints[0] = minSizeHint;
    hints[5] = uint32_t(size.width());
    hints[6] = uint32_t(size.height());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, hints.size(), hints.data());
}

void XEmbedIcon::trayEvent(const xcb_generic_event_t* event) {
    const uint8_t kind = event->response_type & 0x7f;
    if (kind == XCB_CLIENT_MESSAGE) {
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        // The announcement of the tray the icon docked with may come in late.
        if (message->type == managerAtom && message->data.data32[1] == selection &&
            message->data.data32[2] != manager) {
            undock();
            dock();
            emit trayChanged();
        }
    } else if (kind == XCB_DESTROY_NOTIFY && manager != XCB_WINDOW_NONE &&
               reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == manager) {
        // The tray's save set puts the icon back on the root window, where it must not stay.
        undock();
        emit trayChanged();
    }
}

bool XEmbedIcon::iconEvent(const xcb_generic_event_t* event) {
    if (window == XCB_WINDOW_NONE) {
        return false;
    }
    switch (event->response_type & 0x7f) {
        case XCB_EXPOSE: {
            const auto* expose = reinterpret_cast<const xcb_expose_event_t*>(event);
            if (expose->window != window) {
                return false;
            }
            // Shown again, perhaps with an auto-hiding panel that changed its look meanwhile.
            if (expose->count == 0) {
                followPanel();
                present();
            }
            return true;
        }
        case XCB_BUTTON_PRESS: {
            const auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
            if (press->event != window) {
                return false;
            }
            toolTipDelay.stop();
            QToolTip::hideText();
            if (press->detail == leftButton || press->detail == rightButton) {
                emit clicked(XServer::fromDevice(
                    {QPoint(press->root_x - press->event_x, press->root_y - press->event_y),
                     windowSize}));
            }
            return true;
        }
        case XCB_ENTER_NOTIFY: {
            const auto* enter = reinterpret_cast<const xcb_enter_notify_event_t*>(event);
            if (enter->event != window) {
                return false;
            }
            pointer = XServer::fromDevice({enter->root_x, enter->root_y, 1, 1}).topLeft();
            toolTipDelay.start();
            return true;
        }
        case XCB_LEAVE_NOTIFY:
            if (reinterpret_cast<const xcb_leave_notify_event_t*>(event)->event != window) {
                return false;
            }
            toolTipDelay.stop();
            QToolTip::hideText();
            return true;
    }
    return false;
}

// What the tray did with the icon's window, told only by the server's own events: any client can
// send one (a ConfigureNotify of 30000 × 30000).
bool XEmbedIcon::windowEvent(const xcb_generic_event_t* event) {
    const uint8_t kind = event->response_type & 0x7f;
    const bool structure = kind == XCB_CONFIGURE_NOTIFY || kind == XCB_MAP_NOTIFY ||
                           kind == XCB_UNMAP_NOTIFY || kind == XCB_REPARENT_NOTIFY ||
                           kind == XCB_DESTROY_NOTIFY;
    // Each of these names the window in the same place.
    if (!structure || window == XCB_WINDOW_NONE ||
        reinterpret_cast<const xcb_map_notify_event_t*>(event)->window != window) {
        return false;
    }
    if (event->response_type & 0x80) {
        return true;
    }
    if (kind == XCB_CONFIGURE_NOTIFY) {
        const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        resized({configure->width, configure->height});
    } else if (kind == XCB_MAP_NOTIFY) {
        embed();
    } else if (kind == XCB_UNMAP_NOTIFY) {
        redock.start();  // for good, unless it is mapped again
    } else if (kind == XCB_DESTROY_NOTIFY ||
               reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->parent == root) {
        takeOut();
    }
    return true;
}

// Mapped: the top-level window above it is the panel that shows it. A window mapped on the root
// window would be a stray whale on the desktop.
void XEmbedIcon::embed() {
    panel = XServer::topLevel(window);
    if (panel == XCB_WINDOW_NONE) {
        takeOut();
        return;
    }
    redock.stop();
    // A tray that keeps the size the window was made with sends no ConfigureNotify.
    const auto geometry =
        XServer::ask(connection, xcb_get_geometry(connection, window), xcb_get_geometry_reply);
    if (geometry) {
        resized({geometry->width, geometry->height});
    }
    watch.start();
    emit embedded();
}

// The tray took the window out. On the root window it would show on the desktop, so it goes at
// once. A new one docks shortly, unless the tray's own window goes meanwhile: a tray that is going
// away drops its icons first, and a new one announces itself.
void XEmbedIcon::takeOut() {
    release();
    redock.start();
}

// Dropped by a tray that is still there, or left unmapped for good.
void XEmbedIcon::retry() {
    release();
    emit dropped();
    dock();
}

// The tray shows what of the window lies inside its panel, on the screen; a frame as large as a
// bogus size (30000 × 30000 from a buggy tray) would only cost memory and time.
void XEmbedIcon::resized(QSize size) {
    QRect shown = QRect(QPoint(), size) & QRect(QPoint(), screenSize);
    if (const QRect around = panelAround(); !around.isEmpty()) {
        shown &= around;
    }
    if (shown.size() == windowSize) {
        return;
    }
    windowSize = shown.size();
    if (!background.image().isNull()) {
        followPanel();
    }
}

// The panel's top-level window in the icon's coordinates: at (-8, -5) for an icon 8 pixels in
// and 5 down. Empty outside a panel.
QRect XEmbedIcon::panelAround() const {
    if (panel == XCB_WINDOW_NONE) {
        return {};
    }
    const auto atCookie = xcb_translate_coordinates(connection, window, panel, 0, 0);
    const auto geometryCookie = xcb_get_geometry(connection, panel);
    const auto at = XServer::ask(connection, atCookie, xcb_translate_coordinates_reply);
    const auto geometry = XServer::ask(connection, geometryCookie, xcb_get_geometry_reply);
    return at && geometry ? QRect(-at->dst_x, -at->dst_y, geometry->width, geometry->height)
                          : QRect();
}

// The panel's rows beside the icon, read from the panel's own window (a compositor may leave the
// screen's unfilled). A panel that cannot be read (an auto-hiding one, off the screen) keeps the
// last look until it is back.
void XEmbedIcon::followPanel() {
    const QRect around = panelAround();
    const QRect rows(0, -around.y(), around.width(), windowSize.height());
    const QImage pixels =
        around.isEmpty() || rows.isEmpty()
            ? QImage()
            : XServer::image(connection, XServer::requestImage(connection, panel, rows),
                             rows.size());
    if (pixels.isNull() && !background.image().isNull()) {
        return;
    }
    const QColor before = background.colour();
    if (background.follow(pixels, {QPoint(-around.x(), 0), windowSize}, windowColour())) {
        if (background.colour() != before) {
            emit backgroundChanged(background.colour());
        }
        paint();
    }
}

// One frame: the panel's background, the scene over it at the window's height, centred.
void XEmbedIcon::paint() {
    requestSize();
    const QImage& panelImage = background.image();
    if (panelImage.isNull() || panelImage.size() != windowSize) {
        return;
    }
    if (frame.size() != panelImage.size()) {
        scene = QImage();
        frame = QImage(panelImage.size(), QImage::Format_ARGB32_Premultiplied);
    }
    std::memcpy(frame.bits(), panelImage.constBits(), std::size_t(panelImage.sizeInBytes()));
    if (view && view->bounds().height > 0.0) {
        const double scale = windowSize.height() / view->bounds().height;
        // A tray with square icons gets the view's square variant, as hosts of the item do.
        const bool square =
            view->hasSquareVariant() && windowSize.width() < squareAspect * windowSize.height();
        const double side = square ? view->bounds().height : view->bounds().width;
        const int width = std::min(frame.width(), qCeil(side * scale));
        // The scene's pixels are the frame's own, so it is drawn straight over the background;
        // kept from frame to frame, so that its paint engine is made once.
        if (scene.width() != width || scene.devicePixelRatio() != scale) {
            scene = QImage(frame.bits() + (frame.width() - width) / 2 * 4, width, frame.height(),
                           frame.bytesPerLine(), QImage::Format_ARGB32_Premultiplied);
            scene.setDevicePixelRatio(scale);
        }
        view->drawOnto(scene, square);
    }
    present();
}

// Sends the frame in as many requests as the server's request size needs.
void XEmbedIcon::present() {
    if (!frame.isNull() && frame.size() == windowSize) {
        XServer::putImage(connection, window, gc, depth, frame);
    }
}

}  // namespace platform

#include "moc_XEmbedIcon.cpp"
