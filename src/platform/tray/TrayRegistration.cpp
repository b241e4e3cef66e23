#include "platform/tray/TrayRegistration.h"

#include "platform/tray/XEmbedIcon.h"
#include "platform/tray/XServer.h"

namespace platform {

namespace {

constexpr char watcherService[] = "org.kde.StatusNotifierWatcher";

}  // namespace

TrayRegistration::TrayRegistration(BusConnection& bus, QString service,
                                   std::function<void(XEmbedIcon&)> dress)
    : bus(bus), itemService(std::move(service)) {
    if (XEmbedIcon::available()) {
        icon = std::make_unique<XEmbedIcon>();
        dress(*icon);
        connect(icon.get(), &XEmbedIcon::trayChanged, this, &TrayRegistration::trayChanged);
    }
    watcherMatch =
        bus.watchNameOwner(watcherService, [this](const QString& owner) { watcherChanged(owner); });
    lookUpWatcher();
}

TrayRegistration::~TrayRegistration() = default;

XEmbedIcon* TrayRegistration::xembedIcon() const {
    return icon.get();
}

bool TrayRegistration::showsXEmbedIcon() const {
    return surface != Surface::item;
}

// A new owner of the watcher name is a new panel, also when it took the name over directly.
void TrayRegistration::watcherChanged(const QString& owner) {
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
        pid ? place() : showStandIn();
    });
    if (!watcherLookup) {
        place();
    }
}

// A tray of the watcher's own process takes the item over; when it goes, the watcher has it back.
void TrayRegistration::trayChanged() {
    if (panelDrawsIcon() != (surface == Surface::icon)) {
        place();
    }
}

// Plasma's and LXQt's trays are proxies of another process that turn XEmbed icons back into
// items of the watcher, each frame at a higher cost than the item itself. GNOME Shell serves both
// itself but as the compositor: it composites the icon's window into a button it highlights,
// which an icon with the panel's background painted in cannot follow.
bool TrayRegistration::panelDrawsIcon() const {
    if (!icon) {
        return false;
    }
    const qint64 trayOwner = XServer::trayOwnerPid();
    return trayOwner != 0 && trayOwner == watcherPid && trayOwner != XServer::compositorPid();
}

void TrayRegistration::place() {
    panelDrawsIcon() ? showIcon() : registerWithWatcher();
}

// A watcher that shows the item already drops it once the name it was registered under is gone.
void TrayRegistration::showIcon() {
    registration.reset();
    if (!nameReleased && itemService != bus.uniqueName()) {
        bus.releaseName(itemService);
        nameReleased = true;
    }
    setSurface(Surface::icon);
    icon->show();
}

// The panel shows the item as soon as it is registered, so the XEmbed icon goes first: there is
// never a moment with two icons. Without a watcher the item waits quietly for one; on X11 the
// XEmbed icon stands in meanwhile.
void TrayRegistration::registerWithWatcher() {
    if (icon) {
        icon->hide();
    }
    if (nameReleased) {
        nameReleased = !bus.requestName(itemService);
    }
    setSurface(Surface::item);
    registration.reset();
    registration =
        bus.callAsync(watcherService, "/StatusNotifierWatcher", watcherService,
                      "RegisterStatusNotifierItem", itemService, [this](BusMessage& reply) {
                          if (reply.isError()) {
                              showStandIn();
                          }
                      });
    if (!registration) {
        showStandIn();
    }
}

void TrayRegistration::showStandIn() {
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

}  // namespace platform
