#include "platform/tray/TrayRegistration.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>

#include "FakePanel.h"
#include "FakeXEmbedTray.h"
#include "PrivateBus.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "platform/tray/XEmbedIcon.h"

using platform::TrayRegistration;
using platform::XEmbedIcon;

// On an Xvfb display of its own with an XEmbed tray of this process.
TEST(TrayRegistrationOnX11Test, TheWatchersOwnTrayGetsTheXEmbedIconOthersTheItemNeverBoth) {
    constexpr char item[] = "org.example.Item";
    VirtualDisplay display;
    TestApp app;
    PrivateBus bus;
    FakeXEmbedTray tray(display.name());
    const auto connection = bus.itemBus();
    TrayRegistration registration(*connection, item, [](XEmbedIcon&) {});
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
    EXPECT_FALSE(registration.showsXEmbedIcon());
    other.kill();
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray.shownIcons() == 1; }));

    // The watcher of the tray's own process, as XFCE's Status Tray: the XEmbed icon only.
    FakePanel panel(bus.connect());
    QSignalSpy moved(&registration, &TrayRegistration::surfaceChanged);
    ASSERT_TRUE(panel.start());
    ASSERT_TRUE(moved.wait(5000));  // from standing in
    EXPECT_TRUE(registration.showsXEmbedIcon());
    EXPECT_EQ(tray.shownIcons(), 1);
    EXPECT_TRUE(panel.registeredItems().isEmpty());

    // The same process also compositing the screen, as GNOME Shell: the item, and no icon.
    tray.claimCompositor();
    panel.stop();
    ASSERT_TRUE(panel.start() && panel.waitForItem());
    EXPECT_EQ(bus.connect().interface()->serviceOwner(item).value(), connection->uniqueName());
    EXPECT_FALSE(registration.showsXEmbedIcon());
    EXPECT_EQ(tray.shownIcons(), 0);

    // A panel started with --replace takes the name over without a gap.
    FakePanel successor(bus.connect());
    ASSERT_TRUE(successor.start(true) && successor.waitForItem());
    EXPECT_EQ(successor.registeredItems(), QStringList{item});
}
