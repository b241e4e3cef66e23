#include "platform/tray/XServer.h"

#include <xcb/res.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstring>

namespace platform {

namespace {

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

// The process that owns `selection`; 0 without an owner or when the server cannot tell.
qint64 selectionOwnerPid(xcb_atom_t selection) {
    xcb_connection_t* connection = XServer::connection();
    const xcb_query_extension_reply_t* resources =
        connection ? xcb_get_extension_data(connection, &xcb_res_id) : nullptr;
    if (!resources || !resources->present) {
        return 0;
    }
    const auto owner = XServer::ask(connection, xcb_get_selection_owner(connection, selection),
                                    xcb_get_selection_owner_reply);
    if (!owner || owner->owner == XCB_WINDOW_NONE) {
        return 0;
    }
    XServer::ask(connection, xcb_res_query_version(connection, 1, 2), xcb_res_query_version_reply);
    const xcb_res_client_id_spec_t wanted{owner->owner, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const auto ids = XServer::ask(connection, xcb_res_query_client_ids(connection, 1, &wanted),
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

}  // namespace

xcb_connection_t* XServer::connection() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

const xcb_screen_t* XServer::screen() {
    xcb_connection_t* server = connection();
    if (!server) {
        return nullptr;
    }
    int number = screenNumber();
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(server)); it.rem;
         xcb_screen_next(&it), --number) {
        if (number == 0) {
            return it.data;
        }
    }
    return nullptr;
}

xcb_atom_t XServer::atom(const QByteArray& name) {
    xcb_connection_t* server = connection();
    const auto reply =
        server ? ask(server, xcb_intern_atom(server, 0, uint16_t(name.size()), name.constData()),
                     xcb_intern_atom_reply)
               : nullptr;
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_atom_t XServer::traySelection() {
    return atom("_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber()));
}

qint64 XServer::trayOwnerPid() {
    return selectionOwnerPid(traySelection());
}

qint64 XServer::compositorPid() {
    return selectionOwnerPid(atom("_NET_WM_CM_S" + QByteArray::number(screenNumber())));
}

bool XServer::heldOutOfSight(xcb_window_t window) {
    xcb_connection_t* server = connection();
    const xcb_window_t holder = server ? topLevel(window) : xcb_window_t(XCB_WINDOW_NONE);
    if (holder == XCB_WINDOW_NONE) {
        return false;
    }
    const xcb_atom_t opacityAtom = atom("_NET_WM_WINDOW_OPACITY");
    const auto attributesCookie = xcb_get_window_attributes(server, holder);
    const auto opacityCookie =
        xcb_get_property(server, 0, holder, opacityAtom, XCB_ATOM_CARDINAL, 0, 1);
    const auto attributes = ask(server, attributesCookie, xcb_get_window_attributes_reply);
    const auto opacity = ask(server, opacityCookie, xcb_get_property_reply);
    return attributes && attributes->override_redirect && opacity &&
           xcb_get_property_value_length(opacity.get()) == 4 &&
           *static_cast<const uint32_t*>(xcb_get_property_value(opacity.get())) == 0;
}

QRect XServer::topLevelAtPointer() {
    xcb_connection_t* server = connection();
    const xcb_screen_t* root = screen();
    if (!root) {
        return {};
    }
    const auto pointer =
        ask(server, xcb_query_pointer(server, root->root), xcb_query_pointer_reply);
    const auto geometry =
        pointer && pointer->child != XCB_WINDOW_NONE
            ? ask(server, xcb_get_geometry(server, pointer->child), xcb_get_geometry_reply)
            : nullptr;
    return geometry ? fromDevice({geometry->x, geometry->y, geometry->width, geometry->height})
                    : QRect();
}

QRect XServer::fromDevice(QRect rect) {
    const qreal ratio = qGuiApp->devicePixelRatio();
    return QRectF(QPointF(rect.topLeft()) / ratio, QSizeF(rect.size()) / ratio).toAlignedRect();
}

bool XServer::takesRgb32() {
    const xcb_screen_t* root = screen();
    if (!root) {
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection());
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == root->root_depth) {
            return root->root_depth == 24 && it.data->bits_per_pixel == 32 &&
                   setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
        }
    }
    return false;
}

xcb_window_t XServer::topLevel(xcb_window_t window) {
    xcb_connection_t* server = connection();
    xcb_window_t below = window;
    for (auto tree = ask(server, xcb_query_tree(server, window), xcb_query_tree_reply);
         tree && tree->parent != tree->root;
         tree = ask(server, xcb_query_tree(server, below), xcb_query_tree_reply)) {
        below = tree->parent;
    }
    return below == window ? xcb_window_t(XCB_WINDOW_NONE) : below;
}

xcb_get_image_cookie_t XServer::requestImage(xcb_connection_t* server, xcb_drawable_t drawable,
                                             QRect area) {
    return xcb_get_image(server, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(area.x()),
                         int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0U);
}

QImage XServer::image(xcb_connection_t* server, xcb_get_image_cookie_t cookie, QSize size) {
    const auto reply = ask(server, cookie, xcb_get_image_reply);
    QImage pixels(size, QImage::Format_RGB32);
    if (!reply || xcb_get_image_data_length(reply.get()) != pixels.sizeInBytes()) {
        return {};
    }
    std::memcpy(pixels.bits(), xcb_get_image_data(reply.get()), std::size_t(pixels.sizeInBytes()));
    return pixels;
}

void XServer::putImage(xcb_connection_t* server, xcb_drawable_t drawable, xcb_gcontext_t gc,
                       uint8_t depth, const QImage& image) {
    const int line = int(image.bytesPerLine());
    const int rowsPerRequest =
        std::max(1, int((xcb_get_maximum_request_length(server) * 4 - 32) / uint32_t(line)));
    for (int y = 0; y < image.height(); y += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, image.height() - y);
        xcb_put_image(server, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, gc, uint16_t(image.width()),
                      uint16_t(rows), 0, int16_t(y), 0, depth, uint32_t(rows * line),
                      image.constScanLine(y));
    }
    xcb_flush(server);
}

}  // namespace platform
