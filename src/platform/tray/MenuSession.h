#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

#include "platform/tray/Menu.h"

namespace platform {

// One opening of the status menu as a panel or popup reports it. Enters the menu-tracking state
// once per opening and leaves it on close; a panel that never reports the close is taken to have
// closed after the guard interval, so default-mode timers cannot stay held for good.
class MenuSession : public QObject {
    Q_OBJECT

  public:
    static constexpr std::chrono::milliseconds defaultGuard{30000};

    explicit MenuSession(Menu& menu);
    ~MenuSession() override;

    void opened();
    void closed();
    bool isOpen() const;
    void setGuardInterval(std::chrono::milliseconds interval);

  private:
    Menu& menu;
    QTimer guard;
    bool open = false;
};

}  // namespace platform
