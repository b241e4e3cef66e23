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

// The frames are QImage's 32-bit pixels as they are: the server must take them that way.
bool takesRgb32(xcb_connection_t* connection, const xcb_screen_t& screen) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == screen.root_depth) {
            return screen.root_depth == 24 && it.data->bits_per_pixel == 32 &&
                   setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
        }
    }
    return false;
}

QColor windowColour() {
    return QGuiApplication::palette().color(QPalette::Window);
}

}  // namespace

XEmbedIcon::XEmbedIcon() {
    watch.setInterval(500);
    connect(&watch, &QTimer::timeout, this, &XEmbedIcon::followPanel);
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
    const xcb_screen_t* screen = XServer::screen();
    return qobject_cast<QApplication*>(QCoreApplication::instance()) && screen &&
           takesRgb32(XServer::connection(), *screen);
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
    return iconEvent(event);
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
    if (window != XCB_WINDOW_NONE) {
        xcb_free_gc(connection, gc);
        xcb_destroy_window(connection, window);
        xcb_flush(connection);
    }
    window = manager = panel = XCB_WINDOW_NONE;
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
            if (expose->count == 0) {
                background.image().isNull() ? takeBackground() : present();
            }
            return true;
        }
        case XCB_MAP_NOTIFY:
            // The tray maps the window it embedded.
            if (reinterpret_cast<const xcb_map_notify_event_t*>(event)->window != window) {
                return false;
            }
            emit embedded();
            return true;
        case XCB_CONFIGURE_NOTIFY: {
            const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
            if (configure->window != window) {
                return false;
            }
            resized({configure->width, configure->height});
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

// After the first look, a new size has no snapshot to show: the panel's pixels around rebuild it.
void XEmbedIcon::resized(QSize size) {
    if (size == windowSize) {
        return;
    }
    windowSize = size;
    if (!background.image().isNull()) {
        followPanel();
    }
}

// The window still shows what the panel drew there; the background decides whether to trust it.
void XEmbedIcon::takeBackground() {
    panel = window;
    for (auto tree =
             XServer::ask(connection, xcb_query_tree(connection, window), xcb_query_tree_reply);
         tree && tree->parent != root && tree->parent != XCB_WINDOW_NONE;
         tree = XServer::ask(connection, xcb_query_tree(connection, panel), xcb_query_tree_reply)) {
        panel = tree->parent;
    }
    const PanelBackground::Strips around = surroundings();
    const QImage snapshot = XServer::image(
        connection, XServer::requestImage(connection, window, {{0, 0}, windowSize}), windowSize);
    const QColor before = background.colour();
    background.take(snapshot, around, windowSize, windowColour());
    backgroundSet(before);
    watch.start();
}

void XEmbedIcon::followPanel() {
    const QColor before = background.colour();
    if (background.follow(surroundings(), windowSize, windowColour())) {
        backgroundSet(before);
    }
}

void XEmbedIcon::backgroundSet(const QColor& before) {
    if (background.colour() != before) {
        emit backgroundChanged(background.colour());
    }
    paint();
}

// The panel's pixels around the icon, read from the panel's own window (a compositor may leave
// the screen's unfilled); a strip is null where the icon touches the panel's edge.
PanelBackground::Strips XEmbedIcon::surroundings() const {
    const auto atCookie = xcb_translate_coordinates(connection, window, panel, 0, 0);
    const auto geometryCookie = xcb_get_geometry(connection, panel);
    const auto at = XServer::ask(connection, atCookie, xcb_translate_coordinates_reply);
    const auto geometry = XServer::ask(connection, geometryCookie, xcb_get_geometry_reply);
    if (!at || !geometry || panel == window) {
        return {};
    }
    // All four strips in one round trip; the server refuses one beyond the panel's edge: null.
    const QRect icon(QPoint(at->dst_x, at->dst_y), windowSize);
    const QRect areas[] = {{icon.left(), icon.top() - 1, icon.width(), 1},
                           {icon.left(), icon.bottom() + 1, icon.width(), 1},
                           {icon.left() - 1, icon.top(), 1, icon.height()},
                           {icon.right() + 1, icon.top(), 1, icon.height()}};
    xcb_get_image_cookie_t cookies[std::size(areas)];
    for (std::size_t i = 0; i < std::size(areas); ++i) {
        cookies[i] = XServer::requestImage(connection, panel, areas[i]);
    }
    PanelBackground::Strips pixels;
    QImage* const strips[] = {&pixels.above, &pixels.below, &pixels.left, &pixels.right};
    for (std::size_t i = 0; i < std::size(areas); ++i) {
        *strips[i] = XServer::image(connection, cookies[i], areas[i].size());
    }
    return pixels;
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
        const int width = std::min(frame.width(), qCeil(view->bounds().width * scale));
        // The scene's pixels are the frame's own, so it is drawn straight over the background;
        // kept from frame to frame, so that its paint engine is made once.
        if (scene.width() != width || scene.devicePixelRatio() != scale) {
            scene = QImage(frame.bits() + (frame.width() - width) / 2 * 4, width, frame.height(),
                           frame.bytesPerLine(), QImage::Format_ARGB32_Premultiplied);
            scene.setDevicePixelRatio(scale);
        }
        view->drawOnto(scene);
    }
    present();
}

// Sends the frame in as many requests as the server's request size needs.
void XEmbedIcon::present() {
    if (frame.isNull() || frame.size() != windowSize) {
        return;
    }
    const int line = int(frame.bytesPerLine());
    const int rowsPerRequest =
        std::max(1, int((xcb_get_maximum_request_length(connection) * 4 - 32) / uint32_t(line)));
    for (int y = 0; y < frame.height(); y += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, frame.height() - y);
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, uint16_t(frame.width()),
                      uint16_t(rows), 0, int16_t(y), 0, depth, uint32_t(rows * line),
                      frame.constScanLine(y));
    }
    xcb_flush(connection);
}

}  // namespace platform

#include "moc_XEmbedIcon.cpp"
