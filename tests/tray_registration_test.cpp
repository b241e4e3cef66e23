#include "platform/tray/TrayRegistration.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>

#include "FakeNotifications.h"
#include "FakePanel.h"
#include "FakeXEmbedTray.h"
#include "PrivateBus.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "platform/tray/XEmbedIcon.h"

using platform::TrayRegistration;
using platform::XEmbedIcon;

namespace {

constexpr char item[] = "org.example.Item";
const auto undressed = [](XEmbedIcon&) {};

// On an Xvfb display of its own with an XEmbed tray of this process, which docks an icon when
// asked how many it shows, and a watcher of this process that is not started yet.
class TrayRegistrationOnX11 : public ::testing::Test {
  protected:
    VirtualDisplay display;
    TestApp app;
    PrivateBus bus;
    FakeXEmbedTray tray{display.name()};
    std::shared_ptr<platform::BusConnection> connection = bus.itemBus();
    FakePanel panel{bus.connect()};
};

TEST_F(TrayRegistrationOnX11, TheWatchersOwnTrayGetsTheXEmbedIconOthersTheItemNeverBoth) {
    TrayRegistration registration(*connection, item, undressed, {60000, 60000});
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray.shownIcons() == 1; }));  // standing in

    // A watcher of another process, as Plasma's next to its XEmbed proxy: the item, and the icon
    // gone before the panel can show it.
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    other.setProcessEnvironment(environment);
    other.start(QCoreApplication::applicationDirPath() + "/fake-panel");
    int iconsAtRegistration = -1;
    ASSERT_TRUE(FakePanel::waitFor([&] {
        iconsAtRegistration = tray.shownIcons();
        return other.readAllStandardOutput().contains("registered " + QByteArray(item));
    }));
    EXPECT_EQ(iconsAtRegistration, 0);
    other.kill();
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray.shownIcons() == 1; }));

    // The watcher of the tray's own process, as XFCE's Status Tray: the XEmbed icon only.
    QSignalSpy moved(&registration, &TrayRegistration::surfaceChanged);
    ASSERT_TRUE(panel.start());
    ASSERT_TRUE(moved.wait(5000));  // from standing in
    EXPECT_EQ(tray.shownIcons(), 1);
    EXPECT_TRUE(panel.registeredItems().isEmpty());

    // The same process also compositing the screen, as GNOME Shell: the item, and no icon,
    // registered once, also where the host announces itself before the answer, and again when
    // the watcher drops it, not another item.
    tray.claimCompositor();
    panel.stop();
    panel.hostAnnouncedOnRegistration = true;
    ASSERT_TRUE(panel.start() && panel.waitForItem());
    EXPECT_EQ(bus.connect().interface()->serviceOwner(item).value(), connection->uniqueName());
    emit panel.StatusNotifierItemUnregistered("org.example.Other");
    EXPECT_FALSE(FakePanel::waitFor([&] { return panel.registeredItems().size() > 1; }, 500));
    emit panel.StatusNotifierItemUnregistered(item);  // as when setting it up failed
    EXPECT_TRUE(panel.waitForItem(2));

    // A panel started with --replace takes the name over without a gap. Without a host it is no
    // panel: the icon stands in until a host registers.
    FakePanel successor(bus.connect());
    successor.setHostRegistered(false);
    ASSERT_TRUE(successor.start(true));
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray.shownIcons() == 1; }));
    successor.setHostRegistered(true);
    ASSERT_TRUE(successor.waitForItem());
    EXPECT_EQ(successor.registeredItems(), QStringList{item});
}

// Where the tray does not show the icon itself, the watcher gets the item: a tray that leaves it
// unembedded too long, drops it or shows it as an item of its own.
TEST_F(TrayRegistrationOnX11, ATrayThatDoesNotShowTheIconItselfHandsTheItemToTheWatcher) {
    ASSERT_TRUE(panel.start());
    TrayRegistration registration(*connection, item, undressed, {400, 60000});
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray.shownIcons() == 1; }));
    QSignalSpy moved(&registration, &TrayRegistration::surfaceChanged);
    EXPECT_FALSE(moved.wait(1000));  // embedded in time: it stays
    emit registration.xembedIcon()->dropped();
    ASSERT_TRUE(panel.waitForItem());
    // Each new tray gets its chance.
    FakeXEmbedTray unembedding(display.name());
    ASSERT_TRUE(panel.waitForItem(2));
    FakeXEmbedTray reExporting(display.name());
    reExporting.reExportIcons();
    EXPECT_TRUE(FakePanel::waitFor(
        [&] { return reExporting.shownIcons() == 0 && panel.registeredItems().size() == 3; }));
}

TEST_F(TrayRegistrationOnX11, WhereNothingShowsTheItemTheUserIsToldOnce) {
    FakeNotifications notifications(bus.connect());
    // A tray that shows the item in time: nothing to tell.
    ASSERT_TRUE(panel.start());
    TrayRegistration shown(*connection, "org.example.Shown", undressed, {60000, 3000});
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray.shownIcons() == 1; }));
    panel.stop();

    // No watcher, and a tray that does not take the icon: nothing shows the item.
    TrayRegistration alone(*connection, item, undressed, {60000, 200});
    QTest::qWait(3500);  // past both times
    EXPECT_EQ(notifications.shown, QStringList{"Spoutwise: Spoutwise 找不到系统托盘"});
}

}  // namespace
