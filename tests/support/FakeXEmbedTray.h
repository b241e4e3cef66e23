#pragma once

#include <xcb/xcb.h>

#include <QString>
#include <vector>

// An XEmbed system tray for tests: owns the _NET_SYSTEM_TRAY_S0 selection on an X display, so
// that Qt finds a tray there, and takes the icons' dock requests. It embeds nothing; an icon counts
// as shown while the window it asked to dock with still exists.
//
//   FakeXEmbedTray tray(display.name());   // after the application object
//   FakePanel::waitFor([&] { return tray.shownIcons() == 1; });
class FakeXEmbedTray {
  public:
    explicit FakeXEmbedTray(const QString& display);
    ~FakeXEmbedTray();
    FakeXEmbedTray(const FakeXEmbedTray&) = delete;
    FakeXEmbedTray& operator=(const FakeXEmbedTray&) = delete;

    bool isRunning() const { return owner != XCB_WINDOW_NONE; }
    // How many docked icons exist right now. Everything this process's Qt has sent the display
    // before the call is taken into account.
    int shownIcons();

  private:
    xcb_atom_t atom(const char* name);
    void syncWithQt();
    void takeDockRequests();
    bool exists(xcb_window_t window);

    xcb_connection_t* connection = nullptr;
    xcb_window_t owner = XCB_WINDOW_NONE;
    xcb_atom_t opcode = XCB_ATOM_NONE;
    std::vector<xcb_window_t> docked;
};
