#include "VirtualDisplay.h"

#include <cstdlib>

VirtualDisplay::VirtualDisplay() {
    // -displayfd picks a free display number, so parallel tests never collide, and writes it
    // once the server accepts connections.
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    if (server.waitForReadyRead(10000)) {
        displayName = ":" + QString::fromUtf8(server.readLine()).trimmed();
        setenv("DISPLAY", displayName.toUtf8().constData(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
}

VirtualDisplay::~VirtualDisplay() {
    server.terminate();
    server.waitForFinished(5000);
}
