#include "platform/tray/TrayRegistration.h"

#include "platform/tray/XEmbedIcon.h"
#include "platform/tray/XServer.h"

namespace platform {

namespace {

constexpr char watcherService[] = "org.kde.StatusNotifierWatcher";
constexpr int maxReRegistrations = 3;
const QString noTraySummary = "Spoutwise 找不到系统托盘";
const QString noTrayBody =
    "GNOME 上请安装并启用 AppIndicator 扩展（gnome-shell-extension-appindicator）；"
    "其他桌面请在面板上添加支持 StatusNotifierItem 的系统托盘。"
    "Spoutwise 仍在运行，托盘出现后即会显示。";

}  // namespace

TrayRegistration::TrayRegistration(BusConnection& bus, QString service,
                                   std::function<void(XEmbedIcon&)> dress, TrayPatience patience)
    : bus(bus), itemService(std::move(service)), notifications(bus) {
    embedding.setSingleShot(true);
    embedding.setInterval(patience.embeddingMs);
    connect(&embedding, &QTimer::timeout, this, &TrayRegistration::notEmbedded);
    noTray.setSingleShot(true);
    connect(&noTray, &QTimer::timeout, this, &TrayRegistration::tellIfNotShown);
    noTray.start(patience.noTrayMs);
    if (XEmbedIcon::available()) {
        icon = std::make_unique<XEmbedIcon>();
        dress(*icon);
        connect(icon.get(), &XEmbedIcon::trayChanged, this, &TrayRegistration::trayChanged);
        connect(icon.get(), &XEmbedIcon::embedded, this, &TrayRegistration::iconEmbedded);
        connect(icon.get(), &XEmbedIcon::dropped, this, &TrayRegistration::iconDropped);
    }
    watcherMatch =
        bus.watchNameOwner(watcherService, [this](const QString& owner) { watcherChanged(owner); });
    hostMatch = bus.watchSignals(
        "type='signal',path='/StatusNotifierWatcher',interface='org.kde.StatusNotifierWatcher',"
        "member='StatusNotifierHostRegistered'",
        [this](BusMessage&) {
            if (surface != Surface::icon && !registered && !registering) {
                place();
            }
        });
    dropMatch = bus.watchSignals(
        "type='signal',path='/StatusNotifierWatcher',interface='org.kde.StatusNotifierWatcher',"
        "member='StatusNotifierItemUnregistered'",
        [this](BusMessage& signal) {
            const char* service = nullptr;
            if (signal.read("s", &service) > 0 && itemService == service) {
                itemDropped();
            }
        });
    lookUpWatcher();
}

TrayRegistration::~TrayRegistration() = default;

XEmbedIcon* TrayRegistration::xembedIcon() const {
    return icon.get();
}

bool TrayRegistration::showsXEmbedIcon() const {
    return surface != Surface::item;
}

qint64 TrayRegistration::watcherProcess() const {
    return watcherPid;
}

// A new owner of the watcher name is a new panel, also when it took the name over directly.
void TrayRegistration::watcherChanged(const QString& owner) {
    reRegistrations = 0;
    if (owner.isEmpty()) {
        watcherPid = 0;
        showStandIn();
        return;
    }
    lookUpWatcher();
}

// The item is placed once the bus has said which process owns the watcher. A watcher that
// appears after the answer is told by the name's watch, which began before the question; the
// question still open when the watcher changes again is dropped with its slot, unanswered.
void TrayRegistration::lookUpWatcher() {
    watcherLookup = bus.ownerPid(watcherService, [this](std::optional<qint64> pid) {
        watcherPid = pid.value_or(0);
        emit watcherProcessChanged();
        pid ? place() : showStandIn();
    });
    if (!watcherLookup) {
        place();
    }
}

// A tray of the watcher's own process takes the item over; when it goes, the watcher has it back.
// A new tray gets its chance, whatever the last one did.
void TrayRegistration::trayChanged() {
    embedded = false;
    trayDeclined = false;
    if (panelDrawsIcon() != (surface == Surface::icon)) {
        place();
    } else if (surface == Surface::icon) {
        embedding.start();
    }
}

// Where the tray holds the icon out of sight, it shows the icon as an item of its own: a faint
// copy of the window at twice the panel's cost. The item itself shows better.
void TrayRegistration::iconEmbedded() {
    embedded = true;
    embedding.stop();
    if (surface == Surface::icon && XServer::heldOutOfSight(icon->windowId())) {
        log.info(
            "the XEmbed tray shows the icon as an item of its own; the item goes to the "
            "StatusNotifierWatcher itself");
        trayDeclined = true;
        place();
    }
}

// The icon docks again by itself; if the tray does not take it back, the watcher gets the item.
void TrayRegistration::iconDropped() {
    embedded = false;
    if (surface == Surface::icon) {
        embedding.start();
    }
}

// A watcher that drops the item while it is still here gets it again: GNOME's extension does so
// when setting the item up fails, which depends on the order of two answers and seldom repeats.
// A few times per watcher, so that one that always drops it is not asked for ever.
void TrayRegistration::itemDropped() {
    if (surface != Surface::item || !registered || reRegistrations == maxReRegistrations) {
        return;
    }
    ++reRegistrations;
    log.info("the StatusNotifierWatcher dropped the item; registering it again");
    registerWithWatcher();
}

void TrayRegistration::notEmbedded() {
    log.info(
        "the XEmbed tray did not embed the icon in time; the item goes to the "
        "StatusNotifierWatcher instead");
    trayDeclined = true;
    place();
}

// Plasma's and LXQt's trays are proxies of another process that turn XEmbed icons back into
// items of the watcher, each frame at a higher cost than the item itself. GNOME Shell serves both
// itself but as the compositor: it composites the icon's window into a button it highlights,
// which an icon with the panel's background painted in cannot follow.
bool TrayRegistration::panelDrawsIcon() const {
    if (!icon || trayDeclined) {
        return false;
    }
    const qint64 trayOwner = XServer::trayOwnerPid();
    return trayOwner != 0 && trayOwner == watcherPid && trayOwner != XServer::compositorPid();
}

void TrayRegistration::place() {
    panelDrawsIcon() ? showIcon() : askForHost();
}

// A watcher that shows the item already drops it once the name it was registered under is gone.
void TrayRegistration::showIcon() {
    hostQuestion.reset();
    registration.reset();
    registering = false;
    if (!nameReleased && itemService != bus.uniqueName()) {
        bus.releaseName(itemService);
        nameReleased = true;
    }
    registered = false;
    setSurface(Surface::icon);
    icon->show();
    if (!embedded) {
        embedding.start();
    }
}

// A watcher shows the item only through a host; one without (a desktop daemon that runs the
// watcher for a tray that is not there) is no panel. A watcher that does not say is trusted.
void TrayRegistration::askForHost() {
    hostQuestion = bus.callAsync(
        watcherService, "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties", "Get",
        [](BusMessage& call) {
            return call.append("ss", watcherService, "IsStatusNotifierHostRegistered");
        },
        [this](BusMessage& reply) {
            int host = 1;
            if (!reply.isError() && reply.enter('v', "b") > 0) {
                reply.read("b", &host);
            }
            if (host) {
                registerWithWatcher();
                return;
            }
            log.info("the StatusNotifierWatcher has no host to show the item; waiting for one");
            showStandIn();
        });
    if (!hostQuestion) {
        showStandIn();
    }
}

// The panel shows the item as soon as it is registered, so the XEmbed icon goes first: there is
// never a moment with two icons. Without a watcher the item waits quietly for one; on X11 the
// XEmbed icon stands in meanwhile.
void TrayRegistration::registerWithWatcher() {
    embedding.stop();
    if (icon) {
        icon->hide();
        embedded = false;
    }
    if (nameReleased) {
        nameReleased = !bus.requestName(itemService);
    }
    setSurface(Surface::item);
    registered = false;
    registering = true;
    registration.reset();
    registration =
        bus.callAsync(watcherService, "/StatusNotifierWatcher", watcherService,
                      "RegisterStatusNotifierItem", itemService, [this](BusMessage& reply) {
                          registering = false;
                          registered = !reply.isError();
                          if (!registered) {
                              showStandIn();
                          }
                      });
    if (!registration) {
        showStandIn();
    }
}

void TrayRegistration::showStandIn() {
    embedding.stop();
    registering = false;
    registered = false;
    if (!icon) {
        return;
    }
    setSurface(Surface::standIn);
    icon->show();
}

void TrayRegistration::setSurface(Surface now) {
    if (now != surface) {
        surface = now;
        emit surfaceChanged();
    }
}

bool TrayRegistration::itemShown() const {
    return surface == Surface::item ? registered : embedded;
}

// Once per run, and only where nothing shows the item by then; a tray that appears later still
// gets it.
void TrayRegistration::tellIfNotShown() {
    if (itemShown()) {
        return;
    }
    log.info(
        "nothing shows the item: no StatusNotifierWatcher with a host and no XEmbed tray; "
        "it shows as soon as one appears");
    notifications.show(noTraySummary, noTrayBody);
}

}  // namespace platform
