#pragma once

#include <QString>
#include <QStringList>

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

// Shows alerts. Tests derive to record them instead of blocking.
class AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    // Blocks in a modal loop until the user dismisses the alert. Default-mode timers hold their
    // firings meanwhile, as they do while the status menu is open.
    virtual void runModal(const Alert& alert);
};

}  // namespace platform
