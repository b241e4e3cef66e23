#include "platform/tray/Menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDBusMessage>
#include <QSignalSpy>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "QtPrinters.h"
#include "StatusMenu.h"
#include "TestApp.h"
#include "platform/system/Timer.h"
#include "platform/tray/DBusMenuExporter.h"
#include "platform/tray/DBusMenuObject.h"
#include "platform/tray/PopupMenu.h"
#include "platform/tray/StatusItem.h"

using platform::DBusMenuShortcut;
using platform::Menu;
using platform::MenuItem;
using platform::MenuTracking;
using platform::StatusItem;

namespace {

class MenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(panel.start());
        ASSERT_TRUE(panel.waitForItem());
    }
    // A call to the menu and back: every signal sent before it has arrived.
    void roundTrip() {
        panel.menuRevision();
        QCoreApplication::processEvents();
    }

    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
    StatusItem item{44.0, bus.itemBus()};
    StatusMenu menu{item};
};

QVariant shortcut(const QString& key) {
    return QVariant::fromValue(DBusMenuShortcut{{"Control", key}});
}

}  // namespace

TEST(MenuItem, SignalsChangedOnlyForRealChangesAndOnlyActionsBecomeSwitches) {
    MenuItem entry(
        "a", [](MenuItem&) {}, "");
    QSignalSpy changed(&entry, &MenuItem::changed);
    entry.setTitle("a");
    entry.setEnabled(true);
    EXPECT_EQ(changed.count(), 0);
    entry.setTitle("b");
    entry.setEnabled(false);
    EXPECT_EQ(changed.count(), 2);

    EXPECT_FALSE(entry.isToggle());
    for (const int state : {0, 0, 1}) {
        entry.setState(state);
    }
    EXPECT_TRUE(entry.isToggle());
    EXPECT_EQ(changed.count(), 4);

    MenuItem info("状态: --", MenuItem::Action(), "");
    info.setState(0);
    EXPECT_FALSE(info.isToggle());
    EXPECT_FALSE(MenuItem::separatorItem()->isToggle());
}

TEST(MenuItem, ChooseRunsTheActionWithTheEntryOnlyWhileEnabled) {
    MenuItem* sender = nullptr;
    MenuItem entry(
        "a", [&](MenuItem& item) { sender = &item; }, "");
    entry.setEnabled(false);
    entry.choose();
    EXPECT_EQ(sender, nullptr);
    entry.setEnabled(true);
    entry.choose();
    EXPECT_EQ(sender, &entry);
    MenuItem::separatorItem()->choose();
}

TEST_F(MenuTest, ExportsTheWholeLayout) {
    const QVariantMap separator{{"type", "separator"}};
    const QList<QVariantMap> expected{
        {{"label", "CPU: --% · 峰值 --%"}, {"enabled", false}},
        {{"label", "状态: --"}, {"enabled", false}},
        separator,
        {{"label", "显示 CPU 百分比"},
         {"toggle-type", "checkmark"},
         {"toggle-state", 1},
         {"shortcut", shortcut("p")}},
        {{"label", "开机自启"}, {"toggle-type", "checkmark"}, {"toggle-state", 0}},
        separator,
        {{"label", "关于 Spoutwise"}},
        {{"label", "退出 Spoutwise"}, {"shortcut", shortcut("q")}},
    };

    const auto root = panel.menuLayout();
    EXPECT_EQ(root.id, 0);
    EXPECT_EQ(root.properties.value("children-display"), "submenu");
    ASSERT_EQ(root.children.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const auto& child = root.children[i];
        EXPECT_EQ(child.id, i + 1);
        EXPECT_TRUE(child.children.isEmpty());
        QVariantMap properties = child.properties;
        if (properties.contains("shortcut")) {  // arrives as a D-Bus argument, not our type
            properties["shortcut"] =
                shortcut(qdbus_cast<DBusMenuShortcut>(properties["shortcut"]).value(0).value(1));
        }
        EXPECT_EQ(properties.keys(), expected[i].keys()) << "entry " << i + 1;
        for (const QString& key : expected[i].keys()) {
            EXPECT_EQ(properties.value(key), expected[i].value(key)) << i + 1 << key.toStdString();
        }
    }
    EXPECT_EQ(panel.menuItemProperties(2).value("label"), "状态: --");
    EXPECT_EQ(panel.menuLayout({"label"}).children[0].properties.keys(), QStringList{"label"});
}

TEST_F(MenuTest, ServesTheProtocolProperties) {
    EXPECT_EQ(panel.menuProperty("Version"), 3u);
    EXPECT_EQ(panel.menuProperty("Status"), "normal");
    EXPECT_EQ(panel.menuProperty("TextDirection"), "ltr");
}

TEST_F(MenuTest, ClicksRunTheEntriesCommands) {
    for (int id : {1, 3, 4, 5, 7, 8, 42}) {
        panel.click(id);
    }
    ASSERT_TRUE(panel.waitFor([&] { return menu.chosen.size() == 4; }));
    EXPECT_EQ(menu.chosen, (QStringList{"togglePercent:", "toggleLaunch:", "showAbout:", "quit:"}));
}

TEST_F(MenuTest, CommandRunsAfterTheEventCallHasReturned) {
    item.menuExporter()->handleEvent(8, "clicked");
    EXPECT_TRUE(menu.chosen.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(menu.chosen, QStringList{"quit:"});
}

TEST_F(MenuTest, ChangesOfOnePassGoOutAsOneUpdateWithOnlyWhatChanged) {
    menu.cpuItem->setTitle("CPU: 12% · 峰值 40%");
    menu.stateItem->setTitle("状态: 正常");
    menu.stateItem->setTitle("状态: 忙碌");
    menu.percentItem->setState(0);
    menu.launchItem->setState(0);
    ASSERT_TRUE(panel.waitFor([&] { return panel.itemsPropertiesUpdatedCount() == 1; }));
    roundTrip();
    ASSERT_EQ(panel.itemsPropertiesUpdatedCount(), 1);

    const std::pair<int, QVariantMap> expected[] = {{1, {{"label", "CPU: 12% · 峰值 40%"}}},
                                                    {2, {{"label", "状态: 忙碌"}}},
                                                    {4, {{"toggle-state", 0}}}};
    const auto updates = panel.itemsPropertiesUpdates().first();
    ASSERT_EQ(updates.size(), std::ssize(expected));
    for (int i = 0; i < updates.size(); ++i) {
        EXPECT_EQ(std::pair(updates[i].id, updates[i].properties), expected[i]);
    }
    EXPECT_TRUE(panel.itemsPropertiesRemovals().first().isEmpty());
    EXPECT_EQ(panel.menuItemProperties(4).value("toggle-state"), 0);
}

TEST_F(MenuTest, TitleSetBackWithinOnePassSendsNothing) {
    menu.stateItem->setTitle("状态: 正常");
    menu.stateItem->setTitle("状态: --");
    roundTrip();
    roundTrip();
    EXPECT_EQ(panel.itemsPropertiesUpdatedCount(), 0);
}

TEST_F(MenuTest, EnablingAnEntryRemovesItsEnabledProperty) {
    menu.cpuItem->setEnabled(true);
    ASSERT_TRUE(panel.waitFor([&] { return panel.itemsPropertiesUpdatedCount() == 1; }));
    const auto removals = panel.itemsPropertiesRemovals().first();
    ASSERT_EQ(removals.size(), 1);
    EXPECT_EQ(removals[0].id, 1);
    EXPECT_EQ(removals[0].properties, QStringList{"enabled"});
}

TEST_F(MenuTest, EntryAddedLaterUpdatesTheLayout) {
    item.menu()->addItem(std::make_shared<MenuItem>("a_b", MenuItem::Action(), ""));
    ASSERT_TRUE(panel.waitFor([&] { return panel.layoutUpdatedCount() == 1; }));
    const auto root = panel.menuLayout();
    ASSERT_EQ(root.children.size(), 9);
    // A literal underscore is doubled so that the panel shows it instead of a mnemonic.
    EXPECT_EQ(root.children[8].properties.value("label"), "a__b");
    EXPECT_EQ(panel.menuRevision(), 2u);
}

TEST_F(MenuTest, OpenedClosedAndChoosingDriveMenuTracking) {
    QSignalSpy shown(item.menu(), &Menu::aboutToShow);
    QSignalSpy closed(item.menu(), &Menu::closed);
    EXPECT_FALSE(panel.aboutToShow(0));
    panel.sendEvent(0, "opened");
    EXPECT_TRUE(MenuTracking::active());
    EXPECT_EQ(shown.count(), 1);
    panel.sendEvent(0, "closed");
    panel.sendEvent(0, "closed");
    EXPECT_FALSE(MenuTracking::active());
    EXPECT_EQ(closed.count(), 1);

    // Choosing an entry ends tracking at once; the closed that follows does not unbalance it.
    panel.sendEvent(0, "opened");
    panel.click(7);
    EXPECT_FALSE(MenuTracking::active());
    panel.sendEvent(0, "closed");
    EXPECT_FALSE(MenuTracking::active());
}

TEST_F(MenuTest, PanelThatNeverReportsClosedReleasesTrackingAfterTheGuard) {
    item.menuExporter()->session().setGuardInterval(std::chrono::milliseconds(20));
    QSignalSpy closed(item.menu(), &Menu::closed);
    panel.sendEvent(0, "opened");
    ASSERT_TRUE(MenuTracking::active());
    ASSERT_TRUE(panel.waitFor([] { return !MenuTracking::active(); }));
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(MenuTest, PopupMirrorsTheMenuLive) {
    platform::PopupMenu popup(*item.menu());
    const auto actions = popup.widget().actions();
    ASSERT_EQ(actions.size(), 8);
    EXPECT_TRUE(actions[2]->isSeparator() && actions[5]->isSeparator());
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[3]->isChecked());
    EXPECT_EQ(actions[3]->shortcut(), QKeySequence("Ctrl+P"));
    EXPECT_EQ(actions[7]->text(), "退出 Spoutwise");
    EXPECT_FALSE(actions[6]->isCheckable());

    menu.cpuItem->setTitle("CPU: 5% · 峰值 9%");
    menu.percentItem->setState(0);
    EXPECT_EQ(actions[0]->text(), "CPU: 5% · 峰值 9%");
    EXPECT_FALSE(actions[3]->isChecked());

    actions[6]->trigger();
    EXPECT_TRUE(menu.chosen.isEmpty());
    ASSERT_TRUE(panel.waitFor([&] { return !menu.chosen.isEmpty(); }));
    EXPECT_EQ(menu.chosen, QStringList{"showAbout:"});
}

// Qt flips a checkable action by itself; a command that leaves the entry's state (a failed
// login change) leaves the tick too.
TEST_F(MenuTest, PopupTickFollowsTheEntryNotTheClick) {
    platform::PopupMenu popup(*item.menu());
    QAction* launch = popup.widget().actions()[4];
    launch->trigger();
    EXPECT_FALSE(launch->isChecked());
}

// A client that asks for one entry 100,000 times gets it once, not a reply the size of its
// request; ids that are no entry are skipped.
TEST_F(MenuTest, GroupPropertiesAnswersEachEntryOnce) {
    QList<int> ids(100000, 5);
    ids.append({42, 1});
    auto request =
        QDBusMessage::createMethodCall(panel.registeredItems().last(), panel.menuPath(),
                                       platform::DBusMenuObject::interface, "GetGroupProperties");
    request << QVariant::fromValue(ids) << QStringList{"label"};
    const auto reply = callWithEventLoop(bus.connect(), request);
    const auto found = qdbus_cast<platform::DBusMenuItemList>(reply.arguments().value(0));
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].id, 1);
    EXPECT_EQ(found[1].properties, (QVariantMap{{"label", "开机自启"}}));
}
