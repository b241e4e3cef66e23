#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <cstdio>

#include "FakePanel.h"

// The fake panel as a program of its own, for scripts: takes the watcher name on the session
// bus and, like a real host, reads the icon and the tooltip each time the item announces new
// ones. Prints one line per registration and, each minute, how many icons it read.
//
//   DBUS_SESSION_BUS_ADDRESS=... fake-panel
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FakePanel panel(QDBusConnection::sessionBus());
    if (!panel.start()) {
        std::fputs("fake-panel: the watcher name is taken or there is no session bus\n", stderr);
        return 1;
    }
    QObject::connect(&panel, &FakePanel::StatusNotifierItemRegistered, [](const QString& name) {
        std::printf("fake-panel: registered %s\n", qPrintable(name));
        std::fflush(stdout);
    });

    int iconsRead = 0;
    QTimer reader;
    reader.callOnTimeout([&] {
        if (panel.newIconCount() > 0) {
            panel.iconPixmaps();
            ++iconsRead;
        }
        if (panel.newToolTipCount() > 0) {
            panel.toolTip();
        }
        panel.resetCounts();
    });
    reader.start(1000 / 60);

    QTimer report;
    report.callOnTimeout([&] {
        std::printf("fake-panel: %d icons read in the last minute\n", iconsRead);
        std::fflush(stdout);
        iconsRead = 0;
    });
    report.start(60 * 1000);
    return QCoreApplication::exec();
}
