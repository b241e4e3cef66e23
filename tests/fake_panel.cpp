#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <cstdio>

#include "FakePanel.h"

// The fake panel as a program of its own, for scripts: takes the watcher name on the session
// bus and, like a real host, reads the icon and the tooltip each time the item announces new
// ones. With --read-delay-ms N it reads N ms after an announcement, as a host that debounces
// does: what the item announces while the read is pending adds nothing; with --no-host it plays
// a watcher without a host. Prints one line per registration and, each minute, how many icons
// it read and how many NewIcon signals came.
//
//   DBUS_SESSION_BUS_ADDRESS=... fake-panel [--read-delay-ms N] [--no-host]
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int delayAt = int(args.indexOf("--read-delay-ms"));
    FakePanel panel(QDBusConnection::sessionBus());
    panel.setHostRegistered(!args.contains("--no-host"));
    if (!panel.start()) {
        std::fputs("fake-panel: the watcher name is taken or there is no session bus\n", stderr);
        return 1;
    }
    QObject::connect(&panel, &FakePanel::StatusNotifierItemRegistered, [](const QString& name) {
        std::printf("fake-panel: registered %s\n", qPrintable(name));
        std::fflush(stdout);
    });

    int iconsRead = 0, newIcons = 0;
    QTimer reader;
    reader.setSingleShot(true);
    reader.setInterval(delayAt > 0 ? args.value(delayAt + 1).toInt() : 0);
    reader.callOnTimeout([&] {
        if (panel.newIcons > 0) {
            panel.iconPixmaps();
            ++iconsRead;
        }
        if (panel.newToolTips > 0) {
            panel.itemProperty("ToolTip");
        }
        newIcons += panel.newIcons;
        panel.resetCounts();
    });
    QObject::connect(&panel, &FakePanel::itemChanged, [&] {
        if (!reader.isActive()) {
            reader.start();
        }
    });

    QTimer report;
    report.callOnTimeout([&] {
        std::printf("fake-panel: %d icons read, %d NewIcon signals in the last minute\n", iconsRead,
                    newIcons);
        std::fflush(stdout);
        iconsRead = newIcons = 0;
    });
    report.start(60 * 1000);
    return QCoreApplication::exec();
}
