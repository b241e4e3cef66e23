#pragma once

#include <QStringList>
#include <memory>

#include "platform/tray/Menu.h"
#include "platform/tray/StatusItem.h"

// The status menu as the app builds it, with placeholder readouts, handed to `item`; records the
// commands chosen.
struct StatusMenu {
    explicit StatusMenu(platform::StatusItem& item) {
        using platform::MenuItem;
        auto menu = std::make_unique<platform::Menu>();
        auto add = [&](QString title, QString command, QString key) {
            auto action = [this, command](MenuItem&) { chosen.append(command); };
            auto entry = std::make_shared<MenuItem>(title, action, key);
            menu->addItem(entry);
            return entry;
        };
        cpuItem = std::make_shared<MenuItem>("CPU: --% · 峰值 --%", MenuItem::Action(), "");
        cpuItem->setEnabled(false);
        menu->addItem(cpuItem);
        stateItem = std::make_shared<MenuItem>("状态: --", MenuItem::Action(), "");
        stateItem->setEnabled(false);
        menu->addItem(stateItem);
        menu->addItem(MenuItem::separatorItem());
        percentItem = add("显示 CPU 百分比", "togglePercent:", "p");
        percentItem->setState(1);
        launchItem = add("开机自启", "toggleLaunch:", "");
        launchItem->setState(0);
        menu->addItem(MenuItem::separatorItem());
        add("关于 Spoutwise", "showAbout:", "");
        add("退出 Spoutwise", "quit:", "q");
        item.setMenu(std::move(menu));
    }

    std::shared_ptr<platform::MenuItem> cpuItem, stateItem, percentItem, launchItem;
    QStringList chosen;
};
