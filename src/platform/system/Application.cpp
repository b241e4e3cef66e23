#include "platform/system/Application.h"

#include <QApplication>
#include <QTimer>

namespace platform {

void Application::setDelegate(std::weak_ptr<ApplicationDelegate> newDelegate) {
    delegate = std::move(newDelegate);
}

void Application::setQuitOnLastWindowClosed(bool quit) {
    QApplication::setQuitOnLastWindowClosed(quit);
}

void Application::run() {
    QTimer::singleShot(0, qApp, [weak = delegate] {
        if (const auto target = weak.lock()) {
            target->applicationDidFinishLaunching();
        }
    });
    QApplication::exec();
}

void Application::terminate() {
    QApplication::exit(0);
}

}  // namespace platform
