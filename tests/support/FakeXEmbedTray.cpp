#include "FakeXEmbedTray.h"

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace {

// The system tray protocol's opcode for "dock this window".
constexpr uint32_t requestDock = 0;

// Sends `event` to `window`, for the clients that listen to `mask` there.
template <typename Event>
void send(xcb_connection_t* connection, xcb_window_t window, uint32_t mask, Event event) {
    xcb_send_event(connection, 0, window, mask, reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

}  // namespace

FakeXEmbedTray::FakeXEmbedTray(const QString& display, int height) : height(height) {
    connection = xcb_connect(display.toUtf8().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        return;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t colour = 0x336699;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, root, 0, 0, 200, uint16_t(height),
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                      &colour);
    xcb_map_window(connection, window);
    const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
    opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
    xcb_set_selection_owner(connection, window, selection, XCB_CURRENT_TIME);

    // Clients that already looked for a tray learn of the new one from this announcement.
    xcb_client_message_event_t manager{XCB_CLIENT_MESSAGE, 32, 0, root, atom("MANAGER"), {}};
    manager.data.data32[1] = selection;
    manager.data.data32[2] = window;
    send(connection, root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, manager);
    owner = window;
}

FakeXEmbedTray::~FakeXEmbedTray() {
    xcb_disconnect(connection);
}

int FakeXEmbedTray::shownIcons() {
    syncWithQt();
    takeDockRequests();
    int shown = 0;
    for (xcb_window_t window : docked) {
        xcb_generic_error_t* error = nullptr;
        free(xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, window), &error));
        shown += error ? 0 : 1;
        free(error);
    }
    return shown;
}

xcb_atom_t FakeXEmbedTray::atom(const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

// A round trip on Qt's own connection: the display has then handled every request Qt made.
void FakeXEmbedTray::syncWithQt() {
    if (const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_connection_t* qt = x11->connection();
        free(xcb_get_input_focus_reply(qt, xcb_get_input_focus(qt), nullptr));
    }
}

// Embeds each icon that asked, centred in the panel's height, at the icon height and the aspect
// of its minimum size, over a white column at the icon's right end.
void FakeXEmbedTray::takeDockRequests() {
    // A round trip of our own, so that every message the display has queued for us is in.
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == opcode &&
            message->data.data32[1] == requestDock) {
            docked.push_back(message->data.data32[2]);
            const QSize wanted = requestedSize();
            const auto size = {
                uint32_t(wanted.isEmpty() ? iconHeight
                                          : iconHeight * wanted.width() / wanted.height()),
                uint32_t(iconHeight)};
            const int16_t top = int16_t((height - iconHeight) / 2);
            const xcb_rectangle_t mark{int16_t(6 + size.begin()[0]), top, 2, iconHeight};
            const uint32_t white = 0xffffff;
            const xcb_gcontext_t gc = xcb_generate_id(connection);
            xcb_create_gc(connection, gc, owner, XCB_GC_FOREGROUND, &white);
            xcb_poly_fill_rectangle(connection, owner, gc, 1, &mark);
            xcb_free_gc(connection, gc);
            xcb_reparent_window(connection, docked.back(), owner, 8, top);
            xcb_configure_window(connection, docked.back(),
                                 XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                                 std::data(size));
            xcb_map_window(connection, docked.back());
        }
        free(event);
    }
    xcb_flush(connection);
}

QSize FakeXEmbedTray::requestedSize() {
    const auto cookie = xcb_get_property(connection, 0, docked.back(), XCB_ATOM_WM_NORMAL_HINTS,
                                         XCB_ATOM_WM_SIZE_HINTS, 0, 18);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    // A window gone before its request is read has no hints.
    const bool given = reply && xcb_get_property_value_length(reply) == 18 * 4;
    const auto* hints =
        given ? static_cast<const uint32_t*>(xcb_get_property_value(reply)) : nullptr;
    const QSize size = given ? QSize(int(hints[5]), int(hints[6])) : QSize();
    free(reply);
    return size;
}

QImage FakeXEmbedTray::iconPixels() {
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, docked.back()), nullptr);
    QImage image(geometry->width, geometry->height, QImage::Format_RGB32);
    free(geometry);
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, docked.back(), 0, 0,
                      uint16_t(image.width()), uint16_t(image.height()), ~0U),
        nullptr);
    memcpy(image.bits(), xcb_get_image_data(reply), size_t(image.sizeInBytes()));
    free(reply);
    return image;
}

void FakeXEmbedTray::setBackground(QRgb colour) {
    const uint32_t pixel = colour & 0xffffff;
    xcb_change_window_attributes(connection, owner, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(connection, 0, owner, 0, 0, 0, 0);
    xcb_flush(connection);
}

void FakeXEmbedTray::click(uint8_t button) {
    xcb_button_press_event_t press{};
    press.response_type = XCB_BUTTON_PRESS;
    press.detail = button;
    press.event = docked.back();
    send(connection, docked.back(), XCB_EVENT_MASK_BUTTON_PRESS, press);
}

void FakeXEmbedTray::claimCompositor() {
    xcb_set_selection_owner(connection, owner, atom("_NET_WM_CM_S0"), XCB_CURRENT_TIME);
    xcb_flush(connection);
}
