#include "platform/tray/XEmbedTray.h"

#include <xcb/res.h>

#include <QApplication>
#include <QToolTip>
#include <QtMath>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

// The system tray protocol's "dock this window", XEmbed's "map me", WM_NORMAL_HINTS' PMinSize.
constexpr uint32_t requestDock = 0;
constexpr uint32_t xembedMapped = 1;
constexpr uint32_t minSizeHint = 16;
constexpr uint8_t leftButton = 1;
constexpr uint8_t rightButton = 3;
// How far a pixel of the snapshot may be from the panel's pixel next to it, per channel.
constexpr int snapshotTolerance = 32;

struct Free {
    void operator()(void* reply) const { free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

// A reply, or null with its error dropped: the windows asked about belong to others and can
// vanish at any moment.
template <typename Cookie, typename R>
Reply<R> ask(xcb_connection_t* connection, Cookie cookie,
             R* (*reply)(xcb_connection_t*, Cookie, xcb_generic_error_t**)) {
    xcb_generic_error_t* error = nullptr;
    Reply<R> result(reply(connection, cookie, &error));
    free(error);
    return result;
}

xcb_connection_t* qtConnection() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

int screenNumber() {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) {
        return 0;
    }
    free(host);
    return screen;
}

const xcb_screen_t* screenOf(xcb_connection_t* connection) {
    int number = screenNumber();
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem;
         xcb_screen_next(&it), --number) {
        if (number == 0) {
            return it.data;
        }
    }
    return nullptr;
}

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

xcb_atom_t internAtom(xcb_connection_t* connection, const QByteArray& name) {
    const auto reply =
        ask(connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()),
            xcb_intern_atom_reply);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_atom_t trayAtom(xcb_connection_t* connection) {
    return internAtom(connection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber()));
}

// Asks for the pixels of `area`; `grabbed` waits for them. Apart, so that several requests share
// one round trip.
xcb_get_image_cookie_t requestImage(xcb_connection_t* connection, xcb_drawable_t drawable,
                                    QRect area) {
    return xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(area.x()),
                         int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0U);
}

// Null when the server refused, e.g. for an area not inside the drawable.
QImage grabbed(xcb_connection_t* connection, xcb_get_image_cookie_t cookie, QSize size) {
    const auto reply = ask(connection, cookie, xcb_get_image_reply);
    QImage image(size, QImage::Format_RGB32);
    if (!reply || xcb_get_image_data_length(reply.get()) != image.sizeInBytes()) {
        return {};
    }
    std::memcpy(image.bits(), xcb_get_image_data(reply.get()), std::size_t(image.sizeInBytes()));
    return image;
}

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= snapshotTolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= snapshotTolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= snapshotTolerance;
}

// Whether `row` of `image` is close to the one-pixel-high `neighbour`; a missing one says nothing.
bool rowMatches(const QImage& image, int row, const QImage& neighbour) {
    if (neighbour.isNull()) {
        return true;
    }
    const auto* mine = reinterpret_cast<const QRgb*>(image.constScanLine(row));
    const auto* theirs = reinterpret_cast<const QRgb*>(neighbour.constScanLine(0));
    return std::equal(mine, mine + image.width(), theirs, near);
}

QColor mean(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    qint64 red = 0;
    qint64 green = 0;
    qint64 blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            red += qRed(line[x]);
            green += qGreen(line[x]);
            blue += qBlue(line[x]);
        }
    }
    const qint64 count = qint64(image.width()) * image.height();
    return QColor(int(red / count), int(green / count), int(blue / count));
}

// X11's device pixels in Qt's coordinates, which a scale factor (Xft.dpi, QT_SCALE_FACTOR) divides.
QRect fromDevice(QRect rect) {
    const qreal ratio = qGuiApp->devicePixelRatio();
    return QRectF(QPointF(rect.topLeft()) / ratio, QSizeF(rect.size()) / ratio).toAlignedRect();
}

}  // namespace

XEmbedTray::XEmbedTray() {
    watch.setInterval(500);
    connect(&watch, &QTimer::timeout, this, &XEmbedTray::checkSurroundings);
    toolTipDelay.setSingleShot(true);
    toolTipDelay.setInterval(700);
    connect(&toolTipDelay, &QTimer::timeout, this,
            [this] { QToolTip::showText(pointer, toolTipText); });
    if (!available()) {
        return;
    }
    connection = qtConnection();
    const xcb_screen_t* screen = screenOf(connection);
    root = screen->root;
    depth = screen->root_depth;
    selection = trayAtom(connection);
    managerAtom = internAtom(connection, "MANAGER");
    // A new tray announces itself to the root window's structure listeners; add them to what Qt
    // already listens to there.
    const auto attributes = ask(connection, xcb_get_window_attributes(connection, root),
                                xcb_get_window_attributes_reply);
    const uint32_t events =
        (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &events);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

XEmbedTray::~XEmbedTray() {
    // What listens may be going away with it: nothing is told any more.
    blockSignals(true);
    undock();
}

bool XEmbedTray::available() {
    xcb_connection_t* connection = qtConnection();
    const xcb_screen_t* screen = connection ? screenOf(connection) : nullptr;
    return qobject_cast<QApplication*>(QCoreApplication::instance()) && screen &&
           takesRgb32(connection, *screen);
}

// The process that owns `selection`, as the X server knows it; 0 without an owner or when the
// server cannot tell (a remote client, no X-Resource extension).
static qint64 selectionOwnerPid(xcb_connection_t* connection, xcb_atom_t selection) {
    const xcb_query_extension_reply_t* resources =
        connection ? xcb_get_extension_data(connection, &xcb_res_id) : nullptr;
    if (!resources || !resources->present) {
        return 0;
    }
    const auto owner = ask(connection, xcb_get_selection_owner(connection, selection),
                           xcb_get_selection_owner_reply);
    if (!owner || owner->owner == XCB_WINDOW_NONE) {
        return 0;
    }
    ask(connection, xcb_res_query_version(connection, 1, 2), xcb_res_query_version_reply);
    const xcb_res_client_id_spec_t wanted{owner->owner, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const auto ids = ask(connection, xcb_res_query_client_ids(connection, 1, &wanted),
                         xcb_res_query_client_ids_reply);
    if (!ids) {
        return 0;
    }
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) == 1) {
            return *xcb_res_client_id_value_value(it.data);
        }
    }
    return 0;
}

qint64 XEmbedTray::trayOwnerPid() {
    xcb_connection_t* connection = qtConnection();
    return connection ? selectionOwnerPid(connection, trayAtom(connection)) : 0;
}

qint64 XEmbedTray::compositorPid() {
    xcb_connection_t* connection = qtConnection();
    const QByteArray manager = "_NET_WM_CM_S" + QByteArray::number(screenNumber());
    return connection ? selectionOwnerPid(connection, internAtom(connection, manager)) : 0;
}

QRect XEmbedTray::topLevelAtPointer() {
    xcb_connection_t* connection = qtConnection();
    const xcb_screen_t* screen = connection ? screenOf(connection) : nullptr;
    if (!screen) {
        return {};
    }
    const auto pointer =
        ask(connection, xcb_query_pointer(connection, screen->root), xcb_query_pointer_reply);
    const auto geometry =
        pointer && pointer->child != XCB_WINDOW_NONE
            ? ask(connection, xcb_get_geometry(connection, pointer->child), xcb_get_geometry_reply)
            : nullptr;
    return geometry ? fromDevice({geometry->x, geometry->y, geometry->width, geometry->height})
                    : QRect();
}

void XEmbedTray::setView(View& subview) {
    if (view) {
        disconnect(view, &View::displayed, this, &XEmbedTray::paint);
    }
    view = &subview;
    connect(view, &View::displayed, this, &XEmbedTray::paint);
    paint();
}

void XEmbedTray::setToolTip(const QString& text) {
    toolTipText = text;
    if (QToolTip::isVisible() && window != XCB_WINDOW_NONE) {
        QToolTip::showText(pointer, toolTipText);
    }
}

void XEmbedTray::show() {
    shown = true;
    dock();
}

void XEmbedTray::hide() {
    shown = false;
    undock();
}

bool XEmbedTray::nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) {
    if (type != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    trayEvent(event);
    return iconEvent(event);
}

// The view's size in points, or the item's with its label before there is one; the tray keeps
// its aspect.
QSize XEmbedTray::itemSize() const {
    return view ? QSize(qCeil(view->bounds().width), qCeil(view->bounds().height)) : QSize(44, 22);
}

void XEmbedTray::dock() {
    if (!connection || !shown || window != XCB_WINDOW_NONE) {
        return;
    }
    const auto owner = ask(connection, xcb_get_selection_owner(connection, selection),
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
    const xcb_atom_t info = internAtom(connection, "_XEMBED_INFO");
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
    request.type = internAtom(connection, "_NET_SYSTEM_TRAY_OPCODE");
    request.data.data32[0] = XCB_CURRENT_TIME;
    request.data.data32[1] = requestDock;
    request.data.data32[2] = window;
    xcb_discard_reply(connection,
                      xcb_send_event_checked(connection, 0, manager, XCB_EVENT_MASK_NO_EVENT,
                                             reinterpret_cast<const char*>(&request))
                          .sequence);
    xcb_flush(connection);
}

void XEmbedTray::undock() {
    if (window != XCB_WINDOW_NONE) {
        xcb_free_gc(connection, gc);
        xcb_destroy_window(connection, window);
        xcb_flush(connection);
    }
    window = manager = panel = XCB_WINDOW_NONE;
    windowSize = requested = QSize();
    if (!background.isNull()) {
        emit backgroundChanged({});
    }
    scene = QImage();
    background = frame = QImage();
    around = {};
    watch.stop();
    toolTipDelay.stop();
}

// The tray sizes an icon from its minimum size, keeping the aspect, and asks again when it changes.
void XEmbedTray::requestSize() {
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

void XEmbedTray::trayEvent(const xcb_generic_event_t* event) {
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

bool XEmbedTray::iconEvent(const xcb_generic_event_t* event) {
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
                background.isNull() ? takeBackground() : present();
            }
            return true;
        }
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
                emit clicked(fromDevice(
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
            pointer = fromDevice({enter->root_x, enter->root_y, 1, 1}).topLeft();
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

// After the first look, a new size has no snapshot to show: the panel's rows around rebuild it.
void XEmbedTray::resized(QSize size) {
    if (size == windowSize) {
        return;
    }
    windowSize = size;
    if (!background.isNull()) {
        around = surroundings();
        setBackground(rebuilt(around));
    }
}

// Right after docking the window still shows what the panel drew there, its own background. A
// tray that was still moving its icons may have left something else: the snapshot is trusted
// only where it joins the panel's rows above and below it. An icon as high as the panel has no
// such rows, and what it shows may be a drawing the tray made there before (MATE's applet handle
// at the notification area's end): its background is always rebuilt from the columns beside it.
void XEmbedTray::takeBackground() {
    panel = window;
    for (auto tree = ask(connection, xcb_query_tree(connection, window), xcb_query_tree_reply);
         tree && tree->parent != root && tree->parent != XCB_WINDOW_NONE;
         tree = ask(connection, xcb_query_tree(connection, panel), xcb_query_tree_reply)) {
        panel = tree->parent;
    }
    around = surroundings();
    const QImage snapshot =
        grabbed(connection, requestImage(connection, window, {{0, 0}, windowSize}), windowSize);
    const bool joins = !snapshot.isNull() && (!around.above.isNull() || !around.below.isNull()) &&
                       rowMatches(snapshot, 0, around.above) &&
                       rowMatches(snapshot, snapshot.height() - 1, around.below);
    setBackground(joins ? snapshot : rebuilt(around));
    watch.start();
}

void XEmbedTray::checkSurroundings() {
    Surroundings now = surroundings();
    if (now == around) {
        return;
    }
    around = std::move(now);
    setBackground(rebuilt(around));
}

void XEmbedTray::setBackground(const QImage& image) {
    const QColor before = mean(background);
    background = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (mean(background) != before) {
        emit backgroundChanged(mean(background));
    }
    paint();
}

// The panel's pixels around the icon, read from the panel's own window (a compositor may leave
// the screen's unfilled); a strip is null where the icon touches the panel's edge.
XEmbedTray::Surroundings XEmbedTray::surroundings() const {
    const auto atCookie = xcb_translate_coordinates(connection, window, panel, 0, 0);
    const auto geometryCookie = xcb_get_geometry(connection, panel);
    const auto at = ask(connection, atCookie, xcb_translate_coordinates_reply);
    const auto geometry = ask(connection, geometryCookie, xcb_get_geometry_reply);
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
        cookies[i] = requestImage(connection, panel, areas[i]);
    }
    Surroundings pixels;
    QImage* const strips[] = {&pixels.above, &pixels.below, &pixels.left, &pixels.right};
    for (std::size_t i = 0; i < std::size(areas); ++i) {
        *strips[i] = grabbed(connection, cookies[i], areas[i].size());
    }
    // The columns beside it count only for an icon as high as the panel.
    if (!pixels.above.isNull() || !pixels.below.isNull()) {
        pixels.left = pixels.right = QImage();
    }
    return pixels;
}

// The panel behind the icon from the strips around it: a blend from the row above to the one
// below in each column, or from the column left to the one right in each row. That is exact for
// a plain colour and close for the gradients panels draw.
QImage XEmbedTray::rebuilt(const Surroundings& pixels) const {
    QImage image(windowSize, QImage::Format_RGB32);
    const bool rows = !pixels.above.isNull() || !pixels.below.isNull();
    const QImage& first = rows ? pixels.above : pixels.left;
    const QImage& second = rows ? pixels.below : pixels.right;
    if (first.isNull() && second.isNull()) {
        image.fill(QGuiApplication::palette().color(QPalette::Window));
        return image;
    }
    const QImage& from = first.isNull() ? second : first;
    const QImage& to = second.isNull() ? first : second;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double t = rows ? (y + 0.5) / image.height() : (x + 0.5) / image.width();
            const QRgb a = rows ? from.pixel(x, 0) : from.pixel(0, y);
            const QRgb b = rows ? to.pixel(x, 0) : to.pixel(0, y);
            const auto mix = [t](int p, int q) { return qRound(p + (q - p) * t); };
            line[x] =
                qRgb(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b)));
        }
    }
    return image;
}

// One frame: the panel's background, the scene over it at the window's height, centred.
void XEmbedTray::paint() {
    requestSize();
    if (background.isNull() || background.size() != windowSize) {
        return;
    }
    if (frame.size() != background.size()) {
        scene = QImage();
        frame = QImage(background.size(), QImage::Format_ARGB32_Premultiplied);
    }
    std::memcpy(frame.bits(), background.constBits(), std::size_t(background.sizeInBytes()));
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
void XEmbedTray::present() {
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

#include "moc_XEmbedTray.cpp"
