#pragma once

#include <xcb/xcb.h>

#include <QImage>
#include <QString>
#include <vector>

// An XEmbed system tray for tests: a panel window of one colour (0xff336699), 200 × `height`, that
// owns _NET_SYSTEM_TRAY_S0 and docks the icons that ask, each in a container 8 pixels in and
// centred in its height, at the size `slot` (a square; the size the icon was made with, of which
// the server tells nothing) or else at its icon height and the icon's aspect, as XFCE's tray does,
// or as high as the panel, as MATE's. Made after the application object.
class FakeXEmbedTray {
  public:
    static constexpr int iconHeight = 16;
    // XEmbed's end of embedding (unmapped, put on the root window), its container destroyed, or
    // only unmapped.
    enum class Drop { toRoot, withContainer, unmapped };

    explicit FakeXEmbedTray(const QString& display, int height = 26, QSize slot = {});
    ~FakeXEmbedTray();
    FakeXEmbedTray(const FakeXEmbedTray&) = delete;
    FakeXEmbedTray& operator=(const FakeXEmbedTray&) = delete;

    // How many docked icons exist right now. Everything this process's Qt has sent the display
    // before the call is taken into account.
    int shownIcons();
    // The last docked icon's minimum size and what its window shows; after shownIcons.
    QSize requestedSize();
    QImage iconPixels();
    // Repaints the panel in `colour` around the icons, as a new theme does.
    void setBackground(QRgb colour);
    // A press of mouse `button` on the last docked icon.
    void click(uint8_t button);
    // Resizes the last docked icon with its container, or only tells it so, as any client can.
    void resize(QSize size, bool synthetic = false);
    void drop(Drop how);
    void setPanelShown(bool shown);  // off the screen and back, as an auto-hiding panel
    // The tray's process becomes the compositing manager, as GNOME Shell is.
    void claimCompositor();
    // Plays a tray that shows icons as items of its own: holds them in a window nobody sees.
    void reExportIcons();

  private:
    xcb_atom_t atom(const char* name);
    void syncWithQt();
    void takeDockRequests();

    xcb_connection_t* connection = nullptr;
    xcb_window_t owner = XCB_WINDOW_NONE;
    xcb_atom_t opcode = XCB_ATOM_NONE;
    int height;
    QSize slot;
    std::vector<xcb_window_t> docked;
    std::vector<xcb_window_t> containers;
};
