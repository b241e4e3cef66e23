#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/system/DesktopNotifications.h"
#include "platform/system/Logger.h"
#include "platform/tray/BusConnection.h"

namespace platform {

class XEmbedIcon;

// How long a tray may take to embed the XEmbed icon before the watcher gets the item, and how long
// after start nothing may show the item before the user is told.
struct TrayPatience {
    int embeddingMs = 2000;
    int noTrayMs = 5000;
};

// Keeps the item in whatever panel there is, in one place at a time. Where the panel draws the
// X11 system tray's icons itself (one process owns the tray and the StatusNotifierWatcher name, as
// XFCE's Status Tray does), as an XEmbed icon that paints its own window and costs the panel
// nothing per frame. Elsewhere registered under `service` with each panel that owns the watcher
// name and has a host to show it, and on X11 the XEmbed icon stands in while no watcher shows the
// item. `dress` fills the XEmbed icon, made once, with the item's picture, tooltip and click.
// Where nothing shows the item a few seconds after start, the user is told once.
class TrayRegistration : public QObject {
    Q_OBJECT

  public:
    TrayRegistration(BusConnection& bus, QString service, std::function<void(XEmbedIcon&)> dress,
                     TrayPatience patience = {});
    ~TrayRegistration() override;

    // The XEmbed icon, shown or not; null without an X11 display.
    XEmbedIcon* xembedIcon() const;
    // Whether the item shows as the XEmbed icon rather than through the watcher.
    bool showsXEmbedIcon() const;
    // The process that serves the watcher, as the bus last said; 0 when not known.
    qint64 watcherProcess() const;

  signals:
    // The bus said which process serves the watcher, before the item is placed with it.
    void watcherProcessChanged();
    // The item moved between the watcher and the XEmbed icon.
    void surfaceChanged();

  private:
    enum class Surface { item, standIn, icon };

    void watcherChanged(const QString& owner);
    void lookUpWatcher();
    void trayChanged();
    void iconEmbedded();
    void iconDropped();
    void itemDropped();
    void notEmbedded();
    bool panelDrawsIcon() const;
    void place();
    void showIcon();
    void askForHost();
    void registerWithWatcher();
    void showStandIn();
    void setSurface(Surface now);
    bool itemShown() const;
    void tellIfNotShown();

    BusConnection& bus;
    QString itemService;
    std::unique_ptr<XEmbedIcon> icon;
    Surface surface = Surface::item;
    bool nameReleased = false;
    BusSlot watcherMatch;
    // The question for the process that owns the watcher name, and its last answer (0: none).
    BusSlot watcherLookup;
    qint64 watcherPid = 0;
    // Whether the watcher has a host, asked before each registration, and again when a host
    // registers while the watcher does not show the item.
    BusSlot hostQuestion;
    BusSlot hostMatch;
    // The watcher's word that it dropped an item, and how often it dropped this one.
    BusSlot dropMatch;
    int reRegistrations = 0;
    // The latest registration call; only its answer tells whether a panel shows the item, until
    // the item goes elsewhere. While it is unanswered a host that registers changes nothing: a
    // second call would make GNOME's extension reset the item it is still setting up, which it
    // then never shows.
    BusSlot registration;
    bool registering = false;
    bool registered = false;
    // Whether a tray shows the XEmbed icon's window now.
    bool embedded = false;
    // The current tray has not embedded the icon in time, or shows it as an item of its own: the
    // watcher gets the item until another tray appears.
    bool trayDeclined = false;
    QTimer embedding;
    QTimer noTray;
    DesktopNotifications notifications;
    Logger log{"tray"};
};

}  // namespace platform
