#include "platform/tray/TrayRegistration.h"

#include "platform/tray/XEmbedTray.h"

namespace platform {

namespace {

constexpr char watcherService[] = "org.kde.StatusNotifierWatcher";

}  // namespace

TrayRegistration::TrayRegistration(BusConnection& bus, QString service,
                                   std::function<void(XEmbedTray&)> dress)
    : bus(bus), itemService(std::move(service)), dress(std::move(dress)) {
    watcherMatch =
        bus.watchNameOwner(watcherService, [this](const QString& owner) { watcherChanged(owner); });
    registerWithWatcher();
}

TrayRegistration::~TrayRegistration() = default;

XEmbedTray* TrayRegistration::fallbackIcon() const {
    return fallback.get();
}

// A new owner of the watcher name is a new panel, also when it took the name over directly.
// The panel shows the item as soon as it is registered, so the XEmbed icon goes first: there is
// never a moment with two icons.
void TrayRegistration::watcherChanged(const QString& owner) {
    if (owner.isEmpty()) {
        showFallback();
        return;
    }
    fallback.reset();
    registerWithWatcher();
}

// Without a watcher the item waits quietly for one; on X11 an XEmbed icon stands in meanwhile.
void TrayRegistration::registerWithWatcher() {
    registration.reset();
    registration =
        bus.callAsync(watcherService, "/StatusNotifierWatcher", watcherService,
                      "RegisterStatusNotifierItem", itemService, [this] { showFallback(); });
    if (!registration) {
        showFallback();
    }
}

void TrayRegistration::showFallback() {
    if (fallback || !XEmbedTray::available()) {
        return;
    }
    fallback = std::make_unique<XEmbedTray>();
    dress(*fallback);
    fallback->show();
}

}  // namespace platform
