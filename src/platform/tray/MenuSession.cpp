#include "platform/tray/MenuSession.h"

#include "platform/system/Timer.h"

namespace platform {

MenuSession::MenuSession(Menu& menu) : menu(menu) {
    guard.setSingleShot(true);
    guard.setInterval(defaultGuard);
    connect(&guard, &QTimer::timeout, this, &MenuSession::closed);
}

MenuSession::~MenuSession() {
    if (open) {
        MenuTracking::end();
    }
}

void MenuSession::opened() {
    // Hosts announce one opening twice (AboutToShow, then "opened"); count it once.
    if (open) {
        return;
    }
    open = true;
    MenuTracking::begin();
    guard.start();
    emit menu.aboutToShow();
}

void MenuSession::closed() {
    if (!open) {
        return;
    }
    open = false;
    guard.stop();
    MenuTracking::end();
    emit menu.closed();
}

bool MenuSession::isOpen() const {
    return open;
}

void MenuSession::setGuardInterval(std::chrono::milliseconds interval) {
    guard.setInterval(interval);
}

}  // namespace platform
