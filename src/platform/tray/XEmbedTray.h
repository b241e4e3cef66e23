#pragma once

#include <QImage>
#include <QString>
#include <QSystemTrayIcon>
#include <vector>

namespace platform {

// The item on an X11 panel that has an XEmbed tray but no StatusNotifierWatcher. The tray pads
// the icon into a square; that is the most such panels can show.
class XEmbedTray : public QObject {
    Q_OBJECT

  public:
    XEmbedTray();
    ~XEmbedTray() override;

    // An X11 session with a system tray and a widget application to draw the popup.
    static bool available();

    void setImages(const std::vector<QImage>& images);
    void setToolTip(const QString& text);
    void show();

  signals:
    // A left or right click on the icon.
    void clicked();

  private:
    void activated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon icon;
};

}  // namespace platform
