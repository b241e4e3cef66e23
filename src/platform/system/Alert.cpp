#include "platform/system/Alert.h"

#include <QMessageBox>

#include "platform/system/Timer.h"

namespace platform {

void AlertPresenter::runModal(const Alert& alert) {
    if (open) {
        open->raise();
        open->activateWindow();
        return;
    }
    const auto icon =
        alert.alertStyle == Alert::Style::warning ? QMessageBox::Warning : QMessageBox::Information;
    QMessageBox box(icon, "Spoutwise", alert.messageText);
    // The texts may carry system messages; never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(alert.informativeText);
    for (const QString& title : alert.buttonTitles) {
        box.addButton(title, QMessageBox::AcceptRole);
    }
    if (alert.buttonTitles.isEmpty()) {
        box.setStandardButtons(QMessageBox::Ok);
    }
    open = &box;
    MenuTracking::begin();
    box.exec();
    MenuTracking::end();
    open = nullptr;
}

}  // namespace platform
