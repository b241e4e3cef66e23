#include "platform/tray/XEmbedTray.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QSignalSpy>
#include <memory>

#include "FakePanel.h"
#include "FakeXEmbedTray.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "platform/drawing/GraphicsContext.h"

using platform::View;
using platform::XEmbedTray;

namespace {

constexpr QRgb ink = 0xffff0000;
constexpr QRgb panelColour = 0xff336699;

// Fills the square at its left end: where that lands in the icon shows the scale it was drawn at.
class SquareView : public View {
  public:
    using View::View;
    void draw(Rect rect) override {
        auto* context = platform::GraphicsContext::current();
        context->painter().fillRect(context->flipped({0, 0, rect.height, rect.height}), ink);
    }
};

class XEmbedTrayTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(display.isRunning()); }

    // Docks `icon` with a tray that appears after it, as a panel started later does.
    std::unique_ptr<FakeXEmbedTray> dock(XEmbedTray& icon) {
        icon.setView(view);
        icon.show();
        auto tray = std::make_unique<FakeXEmbedTray>(display.name());
        EXPECT_TRUE(FakePanel::waitFor([&] { return tray->shownIcons() == 1; }));
        return tray;
    }

    VirtualDisplay display;
    TestApp app;
    SquareView view{{0, 0, 44, 22}};
};

}  // namespace

TEST_F(XEmbedTrayTest, DocksAtTwoToOneAndDrawsTheSceneAtTheTraysHeightOverThePanel) {
    XEmbedTray icon;
    const auto tray = dock(icon);
    EXPECT_EQ(tray->requestedSize(), QSize(44, 22));
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray->iconPixels().pixel(15, 8) == ink; }));
    const QImage pixels = tray->iconPixels();
    EXPECT_EQ(pixels.size(), QSize(32, 16));
    EXPECT_EQ(pixels.pixel(0, 15), ink);
    EXPECT_EQ(pixels.pixel(16, 8), panelColour);
    EXPECT_EQ(pixels.pixel(31, 0), panelColour);

    // A new look of the panel shows behind the scene within a second.
    tray->setBackground(0xffeeeeee);
    EXPECT_TRUE(
        FakePanel::waitFor([&] { return tray->iconPixels().pixel(31, 0) == 0xffeeeeee; }, 1500));
    EXPECT_EQ(tray->iconPixels().pixel(15, 8), ink);

    // Without the label the item is narrower; the tray is asked for the new size.
    view.setFrame({0, 0, 30, 22});
    EXPECT_TRUE(FakePanel::waitFor([&] { return tray->requestedSize() == QSize(30, 22); }));
}

TEST_F(XEmbedTrayTest, LeftAndRightClicksAreClicksAndTheWheelIsNot) {
    XEmbedTray icon;
    QSignalSpy clicked(&icon, &XEmbedTray::clicked);
    const auto tray = dock(icon);
    // The wheel's buttons first: once both clicks are in, so are they.
    for (const uint8_t button : {4, 1, 5, 3}) {
        tray->click(button);
    }
    ASSERT_TRUE(FakePanel::waitFor([&] { return clicked.size() >= 2; }));
    EXPECT_EQ(clicked.size(), 2);
}

TEST_F(XEmbedTrayTest, TheTrayOwnersProcessIsKnownFromTheServer) {
    EXPECT_EQ(XEmbedTray::trayOwnerPid(), 0);
    FakeXEmbedTray tray(display.name());
    EXPECT_EQ(XEmbedTray::trayOwnerPid(), getpid());
}
