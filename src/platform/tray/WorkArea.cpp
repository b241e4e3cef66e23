#include "platform/tray/WorkArea.h"

#include <QGuiApplication>
#include <QScreen>
#include <array>
#include <vector>

#include "platform/tray/XServer.h"

namespace platform {

namespace {

// One window's strut in the partial form (left, right, top, bottom, then each side's extent),
// in device pixels of the root window; all 0 for none. The plain form spans whole sides.
std::array<uint32_t, 12> strutOf(xcb_connection_t* connection, xcb_get_property_cookie_t partial,
                                 xcb_get_property_cookie_t plain, QSize root) {
    std::array<uint32_t, 12> strut{};
    for (const auto cookie : {partial, plain}) {
        const auto reply = XServer::ask(connection, cookie, xcb_get_property_reply);
        const int values = reply ? xcb_get_property_value_length(reply.get()) / 4 : 0;
        if (values >= 4 && strut == std::array<uint32_t, 12>{}) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
            std::copy_n(data, std::min(values, 12), strut.begin());
            if (values < 12) {
                strut = {strut[0], strut[1],
                         strut[2], strut[3],
                         0,        uint32_t(root.height() - 1),
                         0,        uint32_t(root.height() - 1),
                         0,        uint32_t(root.width() - 1),
                         0,        uint32_t(root.width() - 1)};
            }
        }
    }
    return strut;
}

// `area` less what `strut` reserves along each side of the root, in Qt's coordinates.
QRect cut(QRect area, const std::array<uint32_t, 12>& s, QSize root, qreal ratio) {
    const auto qt = [ratio](int x, int y, int w, int h) {
        return QRectF(x / ratio, y / ratio, w / ratio, h / ratio).toAlignedRect();
    };
    const int w = root.width();
    const int h = root.height();
    const QRect sides[] = {qt(0, int(s[4]), int(s[0]), int(s[5] - s[4] + 1)),
                           qt(w - int(s[1]), int(s[6]), int(s[1]), int(s[7] - s[6] + 1)),
                           qt(int(s[8]), 0, int(s[9] - s[8] + 1), int(s[2])),
                           qt(int(s[10]), h - int(s[3]), int(s[11] - s[10] + 1), int(s[3]))};
    if (s[0] > 0 && sides[0].intersects(area)) {
        area.setLeft(sides[0].right() + 1);
    }
    if (s[1] > 0 && sides[1].intersects(area)) {
        area.setRight(sides[1].left() - 1);
    }
    if (s[2] > 0 && sides[2].intersects(area)) {
        area.setTop(sides[2].bottom() + 1);
    }
    if (s[3] > 0 && sides[3].intersects(area)) {
        area.setBottom(sides[3].top() - 1);
    }
    return area;
}

}  // namespace

QRect workArea(const QScreen& screen) {
    QRect area = screen.availableGeometry();
    xcb_connection_t* connection = XServer::connection();
    const xcb_screen_t* root = XServer::screen();
    if (!connection || !root) {
        return area;
    }
    const QSize size(root->width_in_pixels, root->height_in_pixels);
    const xcb_atom_t partial = XServer::atom("_NET_WM_STRUT_PARTIAL");
    const xcb_atom_t plain = XServer::atom("_NET_WM_STRUT");
    const auto tree =
        XServer::ask(connection, xcb_query_tree(connection, root->root), xcb_query_tree_reply);
    if (!tree) {
        return area;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    struct Asked {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t partial, plain;
    };
    std::vector<Asked> asked;
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        asked.push_back(
            {xcb_get_window_attributes(connection, children[i]),
             xcb_get_property(connection, 0, children[i], partial, XCB_ATOM_CARDINAL, 0, 12),
             xcb_get_property(connection, 0, children[i], plain, XCB_ATOM_CARDINAL, 0, 4)});
    }
    for (const Asked& window : asked) {
        const auto attributes =
            XServer::ask(connection, window.attributes, xcb_get_window_attributes_reply);
        const auto strut = strutOf(connection, window.partial, window.plain, size);
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            area = cut(area, strut, size, qGuiApp->devicePixelRatio());
        }
    }
    return area;
}

}  // namespace platform
