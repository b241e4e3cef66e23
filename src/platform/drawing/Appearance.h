#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <optional>

class QDBusPendingCallWatcher;

namespace platform {

// Light or dark appearance: the desktop portal's colour-scheme setting, kept current from its
// SettingChanged signal, or the application palette's lightness while no portal has answered.
class Appearance : public QObject {
    Q_OBJECT

  public:
    explicit Appearance(QDBusConnection bus = QDBusConnection::sessionBus());

    // Never blocks: answers from the last value the portal sent.
    virtual bool isDark() const;

  signals:
    // The portal sent a colour scheme, first or changed.
    void changed();

  private slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

  private:
    void read(const QString& method);
    void readFinished(QDBusPendingCallWatcher* watcher, const QString& method);
    void setScheme(const QVariant& value);

    QDBusConnection bus;
    // The portal's colour-scheme: 0 no preference, 1 prefer dark, 2 prefer light.
    std::optional<uint> colorScheme;
};

}  // namespace platform
