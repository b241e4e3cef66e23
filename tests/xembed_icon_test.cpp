#include "platform/tray/XEmbedIcon.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "FakePanel.h"
#include "FakeXEmbedTray.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "platform/drawing/GraphicsContext.h"

using platform::XEmbedIcon;

namespace {

constexpr QRgb ink = 0xffff0000;

// Fills the square at its left end: where that lands in the icon shows the scale it was drawn at.
class SquareView : public platform::View {
  public:
    using View::View;
    void draw(Rect rect) override {
        auto* context = platform::GraphicsContext::current();
        context->painter().fillRect(context->flipped({0, 0, rect.height, rect.height}), ink);
    }
};

// The panel's height: taller than its icons (XFCE's), or as high (MATE's).
class XEmbedIconTest : public testing::TestWithParam<int> {};

}  // namespace

TEST_P(XEmbedIconTest, DocksAtTwoToOneDrawsAtTheTraysHeightOverThePanelAndTakesClicks) {
    VirtualDisplay display;
    TestApp app;
    SquareView view({0, 0, 44, 22});
    XEmbedIcon icon;
    QSignalSpy clicked(&icon, &XEmbedIcon::clicked);
    QSignalSpy told(&icon, &XEmbedIcon::backgroundChanged);  // the panel's colour
    icon.setView(view);
    icon.show();
    // A tray that starts after the icon, as a panel started later does.
    FakeXEmbedTray tray(display.name(), GetParam());
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray.shownIcons() == 1; }));
    EXPECT_EQ(tray.requestedSize(), QSize(44, 22));
    ASSERT_TRUE(FakePanel::waitFor([&] { return tray.iconPixels().pixel(15, 8) == ink; }));
    EXPECT_EQ(tray.iconPixels().pixel(31, 0), 0xff336699);
    EXPECT_EQ(told.value(told.size() - 1).value(0).value<QColor>(), QColor(0x336699));

    // A new look of the panel shows behind the scene within a second.
    tray.setBackground(0xffeeeeee);
    ASSERT_TRUE(
        FakePanel::waitFor([&] { return tray.iconPixels().pixel(31, 0) == 0xffeeeeee; }, 1500));
    EXPECT_EQ(tray.iconPixels().pixel(15, 8), ink);
    EXPECT_EQ(told.value(told.size() - 1).value(0).value<QColor>(), QColor(0xeeeeee));

    // Without the label: the narrower size is asked for and, until the tray follows, drawn centred.
    view.setFrame({0, 0, 30, 22});
    EXPECT_TRUE(FakePanel::waitFor([&] {
        return tray.requestedSize() == QSize(30, 22) && tray.iconPixels().pixel(2, 8) == 0xffeeeeee;
    }));

    // The wheel's buttons first: once both clicks are in, so are they.
    for (const uint8_t button : {4, 1, 5, 3}) {
        tray.click(button);
    }
    ASSERT_TRUE(FakePanel::waitFor([&] { return clicked.size() >= 2; }));
    EXPECT_EQ(clicked.size(), 2);
}

INSTANTIATE_TEST_SUITE_P(PanelHeights, XEmbedIconTest, testing::Values(26, 16));
