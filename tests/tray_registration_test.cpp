#include "platform/tray/TrayRegistration.h"

#include <gtest/gtest.h>

#include "FakePanel.h"
#include "FakeXEmbedTray.h"
#include "PrivateBus.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "platform/tray/XEmbedTray.h"

using platform::TrayRegistration;
using platform::XEmbedTray;

namespace {

constexpr char item[] = "org.example.Item";

}  // namespace

TEST(TrayRegistrationTest, RegistersWithEachPanelThatOwnsTheWatcherName) {
    TestApp app;
    PrivateBus bus;
    FakePanel panel(bus.connect());
    const auto connection = bus.itemBus();
    int dressed = 0;
    TrayRegistration registration(*connection, item, [&](XEmbedTray&) { ++dressed; });

    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        ASSERT_TRUE(panel.start());
        ASSERT_TRUE(panel.waitForItem());
        EXPECT_EQ(panel.registeredItems(), QStringList{item});
        panel.stop();
    }
    ASSERT_TRUE(panel.start());
    ASSERT_TRUE(panel.waitForItem());
    FakePanel successor(bus.connect());
    ASSERT_TRUE(successor.replace());
    ASSERT_TRUE(successor.waitForItem());
    EXPECT_EQ(successor.registeredItems(), QStringList{item});
    // Offscreen, there is no X11 tray to stand in.
    EXPECT_EQ(registration.fallbackIcon(), nullptr);
    EXPECT_EQ(dressed, 0);
}

// On an Xvfb display of its own with an XEmbed tray. The panel shows the item as soon as it is
// registered, so the XEmbed icon must be gone by then.
TEST(TrayRegistrationOnX11Test, XEmbedIconStandsInOnlyWhileNoWatcherShowsTheItem) {
    VirtualDisplay display;
    TestApp app;
    PrivateBus bus;
    // Qt looks for a StatusNotifierWatcher on the session bus before it picks XEmbed.
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    FakePanel panel(bus.connect());
    FakeXEmbedTray tray(display.name());
    ASSERT_TRUE(tray.isRunning());
    const auto connection = bus.itemBus();
    int dressed = 0;
    TrayRegistration registration(*connection, item, [&](XEmbedTray& icon) {
        icon.setImages({QImage(44, 22, QImage::Format_ARGB32_Premultiplied)});
        ++dressed;
    });
    ASSERT_TRUE(panel.waitFor([&] { return tray.shownIcons() == 1; }));

    QList<int> xembedIconsAtRegistration;
    QObject::connect(&panel, &FakePanel::StatusNotifierItemRegistered,
                     [&] { xembedIconsAtRegistration.append(tray.shownIcons()); });
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(panel.start());
        ASSERT_TRUE(panel.waitForItem());
        EXPECT_EQ(xembedIconsAtRegistration.value(round), 0);
        EXPECT_EQ(registration.fallbackIcon(), nullptr);

        panel.stop();
        ASSERT_TRUE(panel.waitFor([&] { return tray.shownIcons() == 1; }));
    }
    EXPECT_EQ(dressed, 3);
}
