#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>

// The desktop portal's Settings interface on a test bus, serving only the colour scheme.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

  public:
    // `hasReadOne` false poses as a portal before version 2, which only knows Read.
    FakePortal(QDBusConnection bus, uint colorScheme, bool hasReadOne = true);

    bool isServing() const { return serving; }
    // Stores the scheme and announces it with SettingChanged.
    void setColorScheme(uint scheme);

  public slots:
    QDBusVariant ReadOne(const QString& group, const QString& key, const QDBusMessage& message);
    QDBusVariant Read(const QString& group, const QString& key, const QDBusMessage& message);

  signals:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

  private:
    // Replies NotFound for any setting but the colour scheme.
    bool knows(const QString& group, const QString& key, const QDBusMessage& message);

    QDBusConnection bus;
    uint scheme;
    bool hasReadOne;
    bool serving = false;
};
