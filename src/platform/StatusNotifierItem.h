#pragma once

#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include "platform/DBusTypes.h"

namespace platform {

class StatusItem;

// The org.kde.StatusNotifierItem object under the protocol's own names; reads everything from
// the status item and only forwards.
class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(platform::IconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(platform::ToolTip ToolTip READ toolTip)

  public:
    explicit StatusNotifierItem(StatusItem& item);

    QString category() const { return "ApplicationStatus"; }
    QString id() const { return SPOUTWISE_APP_ID; }
    QString title() const { return "Spoutwise"; }
    QString status() const { return "Active"; }
    int windowId() const { return 0; }
    // A left click opens the menu, as a right click does. Hosts that ignore this call Activate.
    bool itemIsMenu() const { return true; }
    QDBusObjectPath menu() const;
    QString iconName() const { return {}; }
    IconPixmapList iconPixmap() const;
    ToolTip toolTip() const;

    void ContextMenu(int x, int y);
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void Scroll(int delta, const QString& orientation);

  signals:
    void NewTitle();
    void NewIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

  private:
    StatusItem& item;
};

}  // namespace platform
