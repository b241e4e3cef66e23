#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

// One entry of the status menu. Choosing an enabled entry that has an action calls the action
// with the entry as the sender.
class MenuItem : public QObject {
    Q_OBJECT

  public:
    using Action = std::function<void(MenuItem& sender)>;

    // An empty action makes an entry that does nothing; `keyEquivalent` is one lower-case letter
    // or empty, with the platform's default modifier (Control).
    MenuItem(QString title, Action action, QString keyEquivalent);
    static std::shared_ptr<MenuItem> separatorItem();

    bool isSeparator() const;
    const QString& title() const;
    void setTitle(const QString& title);
    bool isEnabled() const;
    void setEnabled(bool enabled);
    // 0 off, 1 on.
    int state() const;
    void setState(int state);
    const QString& keyEquivalent() const;
    bool hasAction() const;
    // An entry with an action that has been given a state shows as a checkmark switch.
    bool isToggle() const;
    // What the platform does when the user chooses the entry.
    void choose();

  signals:
    // Title, enabled flag or state changed.
    void changed();

  private:
    QString itemTitle;
    Action action;
    QString key;
    bool separator = false;
    bool enabled = true;
    bool hasState = false;
    int itemState = 0;
};

class Menu : public QObject {
    Q_OBJECT

  public:
    // Entries appear in insertion order.
    void addItem(std::shared_ptr<MenuItem> item);
    const std::vector<std::shared_ptr<MenuItem>>& items() const;

  signals:
    void aboutToShow();
    void closed();
    // An entry was added after the menu was handed to the panel.
    void itemAdded();

  private:
    std::vector<std::shared_ptr<MenuItem>> entries;
};

}  // namespace platform
