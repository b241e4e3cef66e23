#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "platform/tray/BusConnection.h"

namespace platform {

class XEmbedIcon;

// Keeps the item in whatever panel there is, in one place at a time. Where the panel serves the
// X11 system tray itself (one process owns the tray and the StatusNotifierWatcher name, as XFCE's
// Status Tray does), as an XEmbed icon that paints its own window and costs the panel nothing per
// frame. Elsewhere registered under `service` with each panel that owns the watcher name, and on
// X11 the XEmbed icon stands in while no watcher shows the item. `dress` fills the XEmbed icon,
// made once, with the item's picture, tooltip and click.
class TrayRegistration : public QObject {
    Q_OBJECT

  public:
    TrayRegistration(BusConnection& bus, QString service, std::function<void(XEmbedIcon&)> dress);
    ~TrayRegistration() override;

    // The XEmbed icon, shown or not; null without an X11 display.
    XEmbedIcon* xembedIcon() const;
    // Whether the item shows as the XEmbed icon rather than through the watcher.
    bool showsXEmbedIcon() const;

  signals:
    // The item moved between the watcher and the XEmbed icon.
    void surfaceChanged();

  private:
    enum class Surface { item, standIn, icon };

    void watcherChanged(const QString& owner);
    void lookUpWatcher();
    void trayChanged();
    bool panelDrawsIcon() const;
    void place();
    void showIcon();
    void registerWithWatcher();
    void showStandIn();
    void setSurface(Surface now);

    BusConnection& bus;
    QString itemService;
    std::unique_ptr<XEmbedIcon> icon;
    Surface surface = Surface::item;
    bool nameReleased = false;
    BusSlot watcherMatch;
    // The question for the process that owns the watcher name, and its last answer (0: none).
    BusSlot watcherLookup;
    qint64 watcherPid = 0;
    // The latest registration call; only its answer tells whether a panel shows the item.
    BusSlot registration;
};

}  // namespace platform
