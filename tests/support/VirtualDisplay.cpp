#include "VirtualDisplay.h"

VirtualDisplay::VirtualDisplay() {
    // -displayfd picks a free display number, so parallel tests never collide, and writes it
    // once the server accepts connections.
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    while (server.waitForStarted(5000) && !server.canReadLine() && server.waitForReadyRead(10000)) {
    }
    const QString number = QString::fromUtf8(server.readLine()).trimmed();
    if (!number.isEmpty()) {
        displayName = ":" + number;
        qputenv("DISPLAY", displayName.toUtf8());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
}

VirtualDisplay::~VirtualDisplay() {
    server.terminate();
    server.waitForFinished(5000);
}
