#include "platform/tray/PopupMenu.h"

#include <QAction>
#include <QKeySequence>
#include <QTimer>

namespace platform {

namespace {

void update(QAction& action, const MenuItem& item) {
    action.setText(item.title());
    action.setEnabled(item.isEnabled());
    action.setCheckable(item.isToggle());
    action.setChecked(item.state() != 0);
}

}  // namespace

PopupMenu::PopupMenu(Menu& source) : session(source) {
    for (const auto& item : source.items()) {
        addAction(item);
    }
    connect(&source, &Menu::itemAdded, this, [this, &source] { addAction(source.items().back()); });
    connect(&menu, &QMenu::aboutToShow, &session, &MenuSession::opened);
    connect(&menu, &QMenu::aboutToHide, &session, &MenuSession::closed);
}

PopupMenu::~PopupMenu() = default;

void PopupMenu::popup(QPoint position) {
    menu.popup(position);
}

QMenu& PopupMenu::widget() {
    return menu;
}

void PopupMenu::addAction(const std::shared_ptr<MenuItem>& item) {
    if (item->isSeparator()) {
        menu.addSeparator();
        return;
    }
    QAction* action = menu.addAction(QString());
    if (!item->keyEquivalent().isEmpty()) {
        action->setShortcut(QKeySequence("Ctrl+" + item->keyEquivalent().toUpper()));
    }
    update(*action, *item);
    connect(item.get(), &MenuItem::changed, action,
            [action, entry = item.get()] { update(*action, *entry); });
    // Queued so that the menu has closed before a command opens an alert.
    connect(action, &QAction::triggered, this, [action, weak = std::weak_ptr<MenuItem>(item)] {
        // Qt has flipped the tick already; only the command may change the entry's state.
        if (const auto chosen = weak.lock()) {
            action->setChecked(chosen->state() != 0);
        }
        QTimer::singleShot(0, [weak] {
            if (const auto chosen = weak.lock()) {
                chosen->choose();
            }
        });
    });
}

}  // namespace platform
