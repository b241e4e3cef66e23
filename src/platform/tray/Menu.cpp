#include "platform/tray/Menu.h"

#include <utility>

namespace platform {

MenuItem::MenuItem(QString title, Action action, QString keyEquivalent)
    : itemTitle(std::move(title)), action(std::move(action)), key(std::move(keyEquivalent)) {}

std::shared_ptr<MenuItem> MenuItem::separatorItem() {
    auto item = std::make_shared<MenuItem>(QString(), Action(), QString());
    item->separator = true;
    return item;
}

bool MenuItem::isSeparator() const {
    return separator;
}

const QString& MenuItem::title() const {
    return itemTitle;
}

void MenuItem::setTitle(const QString& title) {
    if (title == itemTitle) {
        return;
    }
    itemTitle = title;
    emit changed();
}

bool MenuItem::isEnabled() const {
    return enabled;
}

void MenuItem::setEnabled(bool value) {
    if (value == enabled) {
        return;
    }
    enabled = value;
    emit changed();
}

int MenuItem::state() const {
    return itemState;
}

void MenuItem::setState(int state) {
    // The first call also turns the entry into a switch, even when the state stays off.
    if (state == itemState && hasState) {
        return;
    }
    const bool valueChanged = state != itemState;
    const bool wasToggle = isToggle();
    itemState = state;
    hasState = true;
    if (valueChanged || wasToggle != isToggle()) {
        emit changed();
    }
}

const QString& MenuItem::keyEquivalent() const {
    return key;
}

bool MenuItem::hasAction() const {
    return bool(action);
}

bool MenuItem::isToggle() const {
    return hasState && hasAction();
}

void MenuItem::choose() {
    if (enabled && action) {
        action(*this);
    }
}

void Menu::addItem(std::shared_ptr<MenuItem> item) {
    entries.push_back(std::move(item));
    emit itemAdded();
}

const std::vector<std::shared_ptr<MenuItem>>& Menu::items() const {
    return entries;
}

}  // namespace platform
