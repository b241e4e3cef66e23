#include <QApplication>
#include <QDBusConnection>
#include <cstdio>
#include <memory>
#include <utility>

#include "AppDelegate.h"
#include "platform/Application.h"

namespace {

// The failures a user can meet before anything is shown; one clear line instead of a crash.
bool canStart() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("spoutwise: no graphical session (DISPLAY and WAYLAND_DISPLAY are unset)\n",
                   stderr);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!canStart()) {
        return 1;
    }
    QApplication qtApplication(argc, argv);
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fputs("spoutwise: no D-Bus session bus, so there is no panel to show the item in\n",
                   stderr);
        return 1;
    }
    const auto app = std::make_shared<platform::Application>();
    AppDelegate::Services services;
    services.application = app;
    const auto delegate = std::make_shared<AppDelegate>(std::move(services));
    app->setDelegate(delegate);
    app->setActivationPolicy(platform::Application::ActivationPolicy::accessory);
    app->run();
    return 0;
}
