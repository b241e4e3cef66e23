#include "platform/tray/PopupMenu.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeySequence>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "platform/tray/WorkArea.h"

namespace platform {

namespace {

// The strip of the screen's edge outside `free` that holds `point`; null where `point` is free.
QRect reservedBand(QPoint point, QRect screen, QRect free) {
    if (point.y() > free.bottom()) {
        return {screen.left(), free.bottom() + 1, screen.width(), screen.bottom() - free.bottom()};
    }
    if (point.y() < free.top()) {
        return {screen.left(), screen.top(), screen.width(), free.top() - screen.top()};
    }
    if (point.x() < free.left()) {
        return {screen.left(), screen.top(), free.left() - screen.left(), screen.height()};
    }
    if (point.x() > free.right()) {
        return {free.right() + 1, screen.top(), screen.right() - free.right(), screen.height()};
    }
    return {};
}

bool alongEdge(QRect panel, QRect screen) {
    return panel.width() >= panel.height()
               ? (panel.top() == screen.top() || panel.bottom() == screen.bottom()) &&
                     panel.height() <= screen.height() / 4
               : (panel.left() == screen.left() || panel.right() == screen.right()) &&
                     panel.width() <= screen.width() / 4;
}

// The application's palette, or on a dark panel a dark one where that is light: the panel's own
// menus are dark there.
QPalette palette(bool dark) {
    const QPalette application = QGuiApplication::palette();
    const bool light = application.color(QPalette::Window).lightness() >
                       application.color(QPalette::WindowText).lightness();
    if (!dark || !light) {
        return application;
    }
    QPalette darkPalette(QColor(0x2d, 0x2d, 0x2d));
    darkPalette.setColor(QPalette::Highlight, application.color(QPalette::Highlight));
    darkPalette.setColor(QPalette::HighlightedText, application.color(QPalette::HighlightedText));
    return darkPalette;
}

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

void PopupMenu::popup(QRect item, QRect panel, bool dark) {
    const QScreen* screen = QGuiApplication::screenAt(item.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    menu.setPalette(palette(dark));
    menu.popup(placement(item, panel, screen->geometry(), workArea(*screen), menu.sizeHint()));
}

QPoint PopupMenu::placement(QRect item, QRect panel, QRect screen, QRect free, QSize size) {
    free = free.intersected(screen).isEmpty() ? screen : free.intersected(screen);
    QRect edge = reservedBand(item.center(), screen, free);
    if (edge.isNull()) {
        edge = panel.isValid() && alongEdge(panel, screen) ? panel : item;
    }
    QPoint at;
    if (edge.width() >= edge.height()) {
        const bool below = edge.center().y() < screen.center().y();
        at = {item.left(), below ? edge.bottom() + 1 : edge.top() - size.height()};
    } else {
        const bool right = edge.center().x() < screen.center().x();
        at = {right ? edge.right() + 1 : edge.left() - size.width(), item.top()};
    }
    const QPoint last(std::max(free.left(), free.right() + 1 - size.width()),
                      std::max(free.top(), free.bottom() + 1 - size.height()));
    return {std::clamp(at.x(), free.left(), last.x()), std::clamp(at.y(), free.top(), last.y())};
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
