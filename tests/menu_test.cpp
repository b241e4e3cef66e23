#include "platform/tray/Menu.h"

#include <gtest/gtest.h>

#include <QAction>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "TestApp.h"
#include "platform/system/Timer.h"
#include "platform/tray/DBusMenuExporter.h"
#include "platform/tray/PopupMenu.h"
#include "platform/tray/StatusItem.h"

using platform::MenuItem;
using platform::MenuTracking;

namespace {

// A menu of every kind of entry, exported by a status item that a fake panel reads; records the
// commands chosen.
class MenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto menu = std::make_unique<platform::Menu>();
        for (const auto& [title, key] :
             {std::pair{"a_b", ""}, {"", ""}, {"switch", "p"}, {"off", ""}, {"command", ""}}) {
            auto entry = std::make_shared<MenuItem>(
                title, [this, title](MenuItem&) { chosen << title; }, key);
            entries.push_back(*title ? entry : MenuItem::separatorItem());
            menu->addItem(entries.back());
        }
        entries[0]->setEnabled(false);
        entries[2]->setState(1);
        entries[3]->setState(0);  // a switch that starts off
        item.setMenu(std::move(menu));
        ASSERT_TRUE(panel.start() && panel.waitForItem());
    }
    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
    platform::StatusItem item{44.0, bus.itemBus()};
    std::vector<std::shared_ptr<MenuItem>> entries;
    QStringList chosen;
};

QVariant shortcut(const QString& key) {
    return QVariant::fromValue(platform::DBusMenuShortcut{{"Control", key}});
}

}  // namespace

TEST_F(MenuTest, ExportsEachEntrysProperties) {
    const QList<QVariantMap> expected{
        {{"label", "a__b"}, {"enabled", false}},  // an underscore would mark a mnemonic
        {{"type", "separator"}},
        {{"label", "switch"},
         {"toggle-type", "checkmark"},
         {"toggle-state", 1},
         {"shortcut", shortcut("p")}},
        {{"label", "off"}, {"toggle-type", "checkmark"}, {"toggle-state", 0}},
        {{"label", "command"}},
    };
    const auto root = panel.menuLayout();
    EXPECT_EQ(root.properties, (QVariantMap{{"children-display", "submenu"}}));
    ASSERT_EQ(root.children.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QVariantMap properties = root.children[i].properties;
        if (properties.contains("shortcut")) {  // arrives as a D-Bus argument, not our type
            properties["shortcut"] =
                QVariant::fromValue(qdbus_cast<platform::DBusMenuShortcut>(properties["shortcut"]));
        }
        EXPECT_EQ(root.children[i].id, i + 1);
        EXPECT_EQ(properties, expected[i]) << i;
    }
    EXPECT_EQ(panel.menuLayout({"label"}).children[2].properties,
              (QVariantMap{{"label", "switch"}}));
}

// Commands run from the event loop once the D-Bus call has returned: they may open a modal alert.
TEST_F(MenuTest, ClicksRunEnabledCommandsAfterTheCallAndEndMenuTracking) {
    panel.sendEvent(0, "opened");
    EXPECT_FALSE(panel.aboutToShow(0));  // the same opening, announced twice
    EXPECT_TRUE(MenuTracking::active());
    item.menuExporter()->handleEvent(5, "clicked");
    EXPECT_FALSE(MenuTracking::active());
    EXPECT_TRUE(chosen.isEmpty());
    panel.sendEvent(0, "closed");
    EXPECT_FALSE(MenuTracking::active());
    for (int id : {1, 3, 42}) {
        panel.click(id);
    }
    ASSERT_TRUE(panel.waitFor([&] { return chosen.size() == 2; }));
    EXPECT_EQ(chosen, (QStringList{"command", "switch"}));
    // A panel that never reports the menu closed does not hold tracking for good.
    item.menuExporter()->session().setGuardInterval(std::chrono::milliseconds(20));
    panel.sendEvent(0, "opened");
    ASSERT_TRUE(MenuTracking::active());
    EXPECT_TRUE(panel.waitFor([] { return !MenuTracking::active(); }));
}

// Changes reach the panel merged, one update per pass with only what changed, and an open
// popup at once.
TEST_F(MenuTest, ChangesReachThePanelAsOneUpdateOfWhatChangedAndThePopupLive) {
    platform::PopupMenu popup(*item.menu());
    const auto actions = popup.widget().actions();
    ASSERT_EQ(actions.size(), 5);
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[2]->isChecked());
    EXPECT_EQ(actions[2]->shortcut(), QKeySequence("Ctrl+P"));
    EXPECT_FALSE(actions[4]->isCheckable());
    entries[4]->setTitle("x");
    entries[4]->setTitle("command");  // set back within the pass: nothing to send
    entries[0]->setTitle("c_d");
    entries[0]->setEnabled(true);
    entries[2]->setState(0);
    EXPECT_EQ(actions[0]->text(), "c_d");
    EXPECT_TRUE(actions[0]->isEnabled());
    EXPECT_FALSE(actions[2]->isChecked());
    ASSERT_TRUE(panel.waitFor([&] { return panel.itemsPropertiesUpdatedCount() == 1; }));
    panel.menuRevision();  // a round trip: any second update would have arrived
    QCoreApplication::processEvents();
    ASSERT_EQ(panel.itemsPropertiesUpdatedCount(), 1);
    const auto updates = panel.itemsPropertiesUpdates().first();
    ASSERT_EQ(updates.size(), 2);
    EXPECT_EQ(std::pair(updates[0].id, updates[0].properties),
              std::pair(1, QVariantMap{{"label", "c__d"}}));
    EXPECT_EQ(std::pair(updates[1].id, updates[1].properties),
              std::pair(3, QVariantMap{{"toggle-state", 0}}));
    const auto removals = panel.itemsPropertiesRemovals().first();
    ASSERT_EQ(removals.size(), 1);
    EXPECT_EQ(std::pair(removals[0].id, removals[0].properties),
              std::pair(1, QStringList{"enabled"}));

    item.menu()->addItem(std::make_shared<MenuItem>("late", MenuItem::Action(), ""));
    ASSERT_TRUE(panel.waitFor([&] { return panel.layoutUpdatedCount() == 1; }));
    EXPECT_EQ(panel.menuRevision(), 2u);
    EXPECT_EQ(panel.menuLayout().children.value(5).properties.value("label"), "late");
    EXPECT_EQ(popup.widget().actions().value(5)->text(), "late");
    actions[4]->trigger();
    EXPECT_TRUE(chosen.isEmpty());  // run from the loop, once the popup has closed
    ASSERT_TRUE(panel.waitFor([&] { return !chosen.isEmpty(); }));
}

// Qt flips a checkable action by itself; a command that leaves the entry's state (a failed
// login change) leaves the tick too.
TEST_F(MenuTest, PopupTickFollowsTheEntryNotTheClick) {
    platform::PopupMenu popup(*item.menu());
    QAction* off = popup.widget().actions()[3];
    off->trigger();
    EXPECT_FALSE(off->isChecked());
}

// A client that asks for one entry 100,000 times gets it once, not a reply the size of its
// request; ids that are no entry are skipped.
TEST_F(MenuTest, GroupPropertiesAnswersEachEntryOnce) {
    QList<int> ids(100000, 5);
    ids.append({42, 1});
    const auto found = panel.groupProperties(ids, {});
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].id, 1);
    EXPECT_EQ(found[1].properties, (QVariantMap{{"label", "command"}}));
}

// The popup opens beside the panel, from the item's start, never over the item, on the screen.
TEST(PopupPlacementTest, OpensBesideThePanelOnTheScreen) {
    const auto at = [](QRect item, QRect panel) {
        return platform::PopupMenu::placement(item, panel, {0, 0, 1000, 600}, {200, 150});
    };
    EXPECT_EQ(at({900, 5, 32, 16}, {0, 0, 1000, 26}), QPoint(800, 26));
    EXPECT_EQ(at({100, 579, 32, 16}, {0, 574, 1000, 26}), QPoint(100, 424));
    EXPECT_EQ(at({5, 300, 30, 15}, {0, 0, 40, 600}), QPoint(40, 300));
    // A window in the middle of the screen is no panel: beside the item itself.
    EXPECT_EQ(at({400, 250, 1, 1}, {300, 200, 400, 100}), QPoint(400, 251));
}
