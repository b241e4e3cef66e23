#include "FakeXEmbedTray.h"

#include <algorithm>
#include <cstring>

#include "platform/tray/XServer.h"

using platform::XServer;

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

FakeXEmbedTray::FakeXEmbedTray(const QString& display, int height, QSize slot)
    : height(height), slot(slot) {
    connection = xcb_connect(display.toUtf8().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        return;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    owner = xcb_generate_id(connection);
    const uint32_t colour = 0x336699;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, owner, root, 0, 0, 200, uint16_t(height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                      &colour);
    xcb_map_window(connection, owner);
    const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
    opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
    xcb_set_selection_owner(connection, owner, selection, XCB_CURRENT_TIME);

    // Clients that already looked for a tray learn of the new one from this announcement.
    xcb_client_message_event_t manager{XCB_CLIENT_MESSAGE, 32, 0, root, atom("MANAGER"), {}};
    manager.data.data32[1] = selection;
    manager.data.data32[2] = owner;
    send(connection, root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, manager);
}

FakeXEmbedTray::~FakeXEmbedTray() {
    xcb_disconnect(connection);
}

int FakeXEmbedTray::shownIcons() {
    syncWithQt();
    takeDockRequests();
    return int(std::count_if(docked.begin(), docked.end(), [this](xcb_window_t window) {
        return XServer::ask(connection, xcb_get_window_attributes(connection, window),
                            xcb_get_window_attributes_reply) != nullptr;
    }));
}

xcb_atom_t FakeXEmbedTray::atom(const char* name) {
    const auto reply =
        XServer::ask(connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name),
                     xcb_intern_atom_reply);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A round trip on Qt's own connection: the display has then handled every request Qt made.
void FakeXEmbedTray::syncWithQt() {
    if (xcb_connection_t* qt = XServer::connection()) {
        free(xcb_get_input_focus_reply(qt, xcb_get_input_focus(qt), nullptr));
    }
}

void FakeXEmbedTray::takeDockRequests() {
    // A round trip of our own, so that every message the display has queued for us is in.
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == opcode &&
            message->data.data32[1] == requestDock) {
            docked.push_back(message->data.data32[2]);
            const QSize wanted = requestedSize();
            const int width =
                wanted.isEmpty() ? iconHeight : iconHeight * wanted.width() / wanted.height();
            const QSize size = slot.isValid() ? slot : QSize(width, iconHeight);
            containers.push_back(xcb_generate_id(connection));
            xcb_create_window(connection, XCB_COPY_FROM_PARENT, containers.back(), owner, 8,
                              int16_t((height - size.height()) / 2), uint16_t(size.width()),
                              uint16_t(size.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                              XCB_COPY_FROM_PARENT, 0, nullptr);
            xcb_reparent_window(connection, docked.back(), containers.back(), 0, 0);
            resize(size);
            xcb_map_window(connection, docked.back());
            xcb_map_window(connection, containers.back());
        }
        free(event);
    }
    xcb_flush(connection);
}

QSize FakeXEmbedTray::requestedSize() {
    const auto reply =
        XServer::ask(connection,
                     xcb_get_property(connection, 0, docked.back(), XCB_ATOM_WM_NORMAL_HINTS,
                                      XCB_ATOM_WM_SIZE_HINTS, 0, 18),
                     xcb_get_property_reply);
    // A window gone before its request is read has no hints.
    if (!reply || xcb_get_property_value_length(reply.get()) != 18 * 4) {
        return {};
    }
    const auto* hints = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return {int(hints[5]), int(hints[6])};
}

QImage FakeXEmbedTray::iconPixels() {
    const auto geometry = XServer::ask(connection, xcb_get_geometry(connection, docked.back()),
                                       xcb_get_geometry_reply);
    const QSize size(geometry->width, geometry->height);
    return XServer::image(connection, XServer::requestImage(connection, docked.back(), {{}, size}),
                          size);
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

void FakeXEmbedTray::resize(QSize size, bool synthetic) {
    if (synthetic) {
        xcb_configure_notify_event_t told{};
        told.response_type = XCB_CONFIGURE_NOTIFY;
        told.event = told.window = docked.back();
        told.width = uint16_t(size.width());
        told.height = uint16_t(size.height());
        send(connection, docked.back(), XCB_EVENT_MASK_STRUCTURE_NOTIFY, told);
        return;
    }
    const uint32_t values[] = {uint32_t(size.width()), uint32_t(size.height())};
    for (const xcb_window_t window : {containers.back(), docked.back()}) {
        xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                             values);
    }
    xcb_flush(connection);
}

void FakeXEmbedTray::drop(Drop how) {
    if (how != Drop::withContainer) {
        xcb_unmap_window(connection, docked.back());
    }
    if (how == Drop::toRoot) {
        xcb_reparent_window(connection, docked.back(),
                            xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root, 0, 0);
    }
    if (how != Drop::unmapped) {
        xcb_destroy_window(connection, containers.back());
    }
    xcb_flush(connection);
}

void FakeXEmbedTray::setPanelShown(bool shown) {
    const int32_t y = shown ? 0 : -height;
    xcb_configure_window(connection, owner, XCB_CONFIG_WINDOW_Y, &y);
    xcb_flush(connection);
}

// Override-redirect and fully transparent, as the proxies make their containers.
void FakeXEmbedTray::reExportIcons() {
    const uint32_t overrideRedirect = 1;
    const uint32_t transparent = 0;
    xcb_change_window_attributes(connection, owner, XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, owner, atom("_NET_WM_WINDOW_OPACITY"),
                        XCB_ATOM_CARDINAL, 32, 1, &transparent);
    xcb_flush(connection);
}
