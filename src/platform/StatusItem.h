#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

#include "platform/Geometry.h"
#include "platform/Menu.h"
#include "platform/View.h"

namespace platform {

// The area of the status item that hosts its view; as wide as the item's length and as high as
// the panel's status area (22 points).
class StatusButton {
  public:
    Rect bounds() const;
    // The view's images become the item's icon; a view with the width- and height-sizable mask
    // follows the button's size.
    void addSubview(View& view);
    void setToolTip(const QString& text);
};

// The one item in the panel's tray, exported as a StatusNotifierItem on `bus`.
class StatusItem : public QObject {
    Q_OBJECT

  public:
    explicit StatusItem(double length, QDBusConnection bus = QDBusConnection::sessionBus());
    ~StatusItem() override;

    // Null when the item has no button.
    StatusButton* button();
    double length() const;
    void setLength(double length);
    // A click on the item opens the menu.
    void setMenu(std::unique_ptr<Menu> menu);
    Menu* menu() const;
};

}  // namespace platform
