#include <QApplication>
#include <QDBusConnection>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "AppDelegate.h"
#include "platform/system/Application.h"
#include "platform/system/SingleInstance.h"
#include "platform/system/TerminationSignals.h"
#include "platform/system/Translations.h"

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

// One whale per session: a second start leaves quietly, since the whale the user asked for is
// already there. The exit status when the app must not go on.
std::optional<int> claimSession(platform::SingleInstance& instance) {
    switch (instance.claim()) {
        case platform::SingleInstance::Claim::owned:
            return std::nullopt;
        case platform::SingleInstance::Claim::taken:
            std::fputs("Spoutwise is already running\n", stderr);
            return 0;
        case platform::SingleInstance::Claim::failed:
            break;
    }
    // A bus that refuses the name should not cost the user the whale.
    std::fprintf(stderr, "spoutwise: could not claim %s on the session bus (%s); starting anyway\n",
                 SPOUTWISE_APP_ID, qPrintable(instance.errorMessage()));
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything else: a SIGTERM while the app is still starting waits until it can end it.
    platform::TerminationSignals::install();
    if (!canStart()) {
        return 1;
    }
    QApplication qtApplication(argc, argv);
    if (!platform::installChineseTranslations()) {
        std::fputs(
            "spoutwise: Qt's Chinese translations are not installed (qt6-translations-l10n); "
            "its standard buttons read English\n",
            stderr);
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fputs("spoutwise: no D-Bus session bus, so there is no panel to show the item in\n",
                   stderr);
        return 1;
    }
    platform::SingleInstance instance(bus);
    if (const auto status = claimSession(instance)) {
        return *status;
    }
    const auto app = std::make_shared<platform::Application>();
    AppDelegate::Services services;
    services.application = app;
    const auto delegate = std::make_shared<AppDelegate>(std::move(services));
    // Logout, Ctrl-C and the end of the session bus end the app the way its Quit entry does.
    const auto quit = [&delegate] { delegate->quit(); };
    platform::TerminationSignals terminationSignals(quit);
    instance.whenBusEnds(quit);
    app->setDelegate(delegate);
    app->setQuitOnLastWindowClosed(false);
    app->run();
    return 0;
}
