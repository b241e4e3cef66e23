#include "platform/tray/PopupMenu.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QTimer>
#include <algorithm>

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

void PopupMenu::popup(QRect item, QRect panel) {
    const QScreen* screen = QGuiApplication::screenAt(item.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    menu.popup(placement(item, panel, screen->geometry(), menu.sizeHint()));
}

QPoint PopupMenu::placement(QRect item, QRect panel, QRect screen, QSize size) {
    const bool across = panel.width() >= panel.height();
    const bool alongEdge =
        across ? (panel.top() == screen.top() || panel.bottom() == screen.bottom()) &&
                     panel.height() <= screen.height() / 4
               : (panel.left() == screen.left() || panel.right() == screen.right()) &&
                     panel.width() <= screen.width() / 4;
    const QRect edge = panel.isValid() && alongEdge ? panel : item;
    QPoint at;
    if (edge.width() >= edge.height()) {
        const bool below = edge.center().y() < screen.center().y();
        at = {item.left(), below ? edge.bottom() + 1 : edge.top() - size.height()};
    } else {
        const bool right = edge.center().x() < screen.center().x();
        at = {right ? edge.right() + 1 : edge.left() - size.width(), item.top()};
    }
    const QPoint last(std::max(screen.left(), screen.right() + 1 - size.width()),
                      std::max(screen.top(), screen.bottom() + 1 - size.height()));
    return {std::clamp(at.x(), screen.left(), last.x()),
            std::clamp(at.y(), screen.top(), last.y())};
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
