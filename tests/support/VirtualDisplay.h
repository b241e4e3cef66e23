#pragma once

#include <QProcess>
#include <QString>

// An Xvfb server of the test's own, for tests that need a real X11 display (popups, the XEmbed
// tray). Construct it before the application object: it points DISPLAY at the server and makes
// Qt use its xcb platform instead of the offscreen one.
class VirtualDisplay {
  public:
    VirtualDisplay();
    ~VirtualDisplay();

    bool isRunning() const { return !displayName.isEmpty(); }
    const QString& name() const { return displayName; }  // ":N"

  private:
    QProcess server;
    QString displayName;
};
