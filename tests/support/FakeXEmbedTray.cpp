#include "FakeXEmbedTray.h"

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace {

// The system tray protocol's opcode for "dock this window".
constexpr uint32_t requestDock = 0;

}  // namespace

FakeXEmbedTray::FakeXEmbedTray(const QString& display) {
    connection = xcb_connect(display.toUtf8().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        return;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
    opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
    xcb_set_selection_owner(connection, window, selection, XCB_CURRENT_TIME);

    // Clients that already looked for a tray learn of the new one from this announcement.
    xcb_client_message_event_t manager{};
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = screen->root;
    manager.type = atom("MANAGER");
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = selection;
    manager.data.data32[2] = window;
    xcb_send_event(connection, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&manager));
    xcb_flush(connection);
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
        shown += exists(window) ? 1 : 0;
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
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        return;
    }
    xcb_connection_t* qt = x11->connection();
    free(xcb_get_input_focus_reply(qt, xcb_get_input_focus(qt), nullptr));
}

void FakeXEmbedTray::takeDockRequests() {
    // A round trip of our own, so that every message the display has queued for us is in.
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == opcode &&
            message->data.data32[1] == requestDock) {
            docked.push_back(message->data.data32[2]);
        }
        free(event);
    }
}

bool FakeXEmbedTray::exists(xcb_window_t window) {
    xcb_generic_error_t* error = nullptr;
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, window), &error);
    free(error);
    free(attributes);
    return attributes != nullptr;
}
