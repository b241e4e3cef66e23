#pragma once

#include <QString>
#include <QStringList>

class QMessageBox;

namespace platform {

// A message box's content.
struct Alert {
    enum class Style { warning = 0, informational = 1 };

    Style alertStyle = Style::warning;
    QString messageText;
    QString informativeText;
    // Without any, the box shows the platform's single default button.
    QStringList buttonTitles;
};

// Shows alerts, one at a time. Tests derive to record them instead of blocking.
class AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    // Blocks in a modal loop until the user dismisses the alert. Default-mode timers hold their
    // firings meanwhile, as they do while the status menu is open. While an alert is open, a
    // second one brings the open one to the front and returns at once instead: twenty About
    // clicks would otherwise stack twenty modal loops.
    virtual void runModal(const Alert& alert);

  private:
    QMessageBox* open = nullptr;
};

}  // namespace platform
