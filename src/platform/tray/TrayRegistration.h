#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "platform/tray/BusConnection.h"

namespace platform {

class XEmbedTray;

// Keeps the item in whatever panel there is: registered under `service` with each panel that
// owns the StatusNotifierWatcher name, and on X11 an XEmbed icon standing in while none shows
// it. `dress` fills each new XEmbed icon with the item's picture, tooltip and click.
class TrayRegistration : public QObject {
    Q_OBJECT

  public:
    TrayRegistration(BusConnection& bus, QString service, std::function<void(XEmbedTray&)> dress);
    ~TrayRegistration() override;

    // The XEmbed icon while it stands in; null otherwise.
    XEmbedTray* fallbackIcon() const;

  private:
    void watcherChanged(const QString& owner);
    void registerWithWatcher();
    void showFallback();

    BusConnection& bus;
    QString itemService;
    std::function<void(XEmbedTray&)> dress;
    std::unique_ptr<XEmbedTray> fallback;
    BusSlot watcherMatch;
    // The latest registration call; only its answer tells whether a panel shows the item.
    BusSlot registration;
};

}  // namespace platform
