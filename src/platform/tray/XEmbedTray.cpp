#include "platform/tray/XEmbedTray.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

namespace platform {

XEmbedTray::XEmbedTray() {
    connect(&icon, &QSystemTrayIcon::activated, this, &XEmbedTray::activated);
}

XEmbedTray::~XEmbedTray() = default;

bool XEmbedTray::available() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) &&
           QGuiApplication::platformName() == "xcb" && QSystemTrayIcon::isSystemTrayAvailable();
}

void XEmbedTray::setImages(const std::vector<QImage>& images) {
    QIcon image;
    for (const QImage& scaled : images) {
        image.addPixmap(QPixmap::fromImage(scaled));
    }
    icon.setIcon(image);
}

void XEmbedTray::setToolTip(const QString& text) {
    icon.setToolTip(text);
}

void XEmbedTray::show() {
    icon.show();
}

void XEmbedTray::activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) {
        emit clicked();
    }
}

}  // namespace platform
