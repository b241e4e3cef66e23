#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <optional>

class QDBusPendingCallWatcher;

namespace platform {

// Light or dark appearance of what the item is drawn on, first found of: the panel's own
// background, where the app paints over it; the panels known to stay dark whatever the scheme;
// the desktop portal's colour-scheme setting, kept current from its SettingChanged signal; the
// application palette's lightness while no portal has answered.
class Appearance : public QObject {
    Q_OBJECT

  public:
    // `desktops` is the session's XDG_CURRENT_DESKTOP, a colon-separated list of names.
    explicit Appearance(QDBusConnection bus = QDBusConnection::sessionBus(),
                        const QString& desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP"));

    // Never blocks: answers from the last value the portal sent.
    virtual bool isDark() const;

    // The colour the item is painted over, for a surface that paints the panel's background
    // itself; dark when light text reads better on it. An invalid colour forgets it.
    void setPanelBackground(const QColor& background);
    // That colour; invalid where the panel paints the item's background itself.
    QColor panelBackground() const;

  signals:
    // The portal sent a colour scheme, first or changed, or the panel's background turned from
    // light to dark or back.
    void changed();

  private slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

  private:
    void read(const QString& method);
    void readFinished(QDBusPendingCallWatcher* watcher, const QString& method);
    void setScheme(const QVariant& value);

    QDBusConnection bus;
    // GNOME Shell's top bar, XFCE's and Cinnamon's default panels and sway's bars are dark in
    // both schemes.
    bool panelAlwaysDark;
    QColor panelColour;
    // The portal's colour-scheme: 0 no preference, 1 prefer dark, 2 prefer light.
    std::optional<uint> colorScheme;
};

}  // namespace platform
