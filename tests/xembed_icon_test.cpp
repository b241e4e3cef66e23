#include "platform/tray/XEmbedIcon.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "FakePanel.h"
#include "FakeXEmbedTray.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "platform/drawing/GraphicsContext.h"

using platform::XEmbedIcon;

namespace {

constexpr QRgb ink = 0xffff0000;
constexpr QRgb squareInk = 0xff00ff00;
constexpr QRgb panelColour = 0xff336699;

// Fills the square at its left end: where that lands in the icon shows the scale it was drawn at.
// Its square variant is all `squareInk`.
class SquareView : public platform::View {
  public:
    using View::View;
    void draw(Rect rect) override { fill({0, 0, rect.height, rect.height}, ink); }
    bool hasSquareVariant() const override { return true; }
    void drawSquare(Rect square) override { fill(square, squareInk); }
    static void fill(Rect rect, QRgb colour) {
        auto* context = platform::GraphicsContext::current();
        context->painter().fillRect(context->flipped(rect), colour);
    }
};

// The icon, shown, on a display of its own; the tests start the trays.
class XEmbedIconTest : public testing::Test {
  protected:
    XEmbedIconTest() {
        icon.setView(view);
        icon.show();
    }
    VirtualDisplay display;
    TestApp app;
    SquareView view{{0, 0, 44, 22}};
    XEmbedIcon icon;
};

}  // namespace

// A panel taller than its icons (XFCE's) or as high (MATE's), and a tray that keeps the size the
// window was made with, of which the server tells nothing.
TEST_F(XEmbedIconTest, DocksAtTwoToOneDrawsAtTheTraysHeightOverThePanelAndTakesClicks) {
    for (const auto& [height, slot] : {std::pair{26, QSize()}, {16, QSize()}, {26, {44, 22}}}) {
        SCOPED_TRACE(height);
        QSignalSpy clicked(&icon, &XEmbedIcon::clicked);
        QSignalSpy told(&icon, &XEmbedIcon::backgroundChanged);  // the panel's colour
        view.setFrame({0, 0, 44, 22});
        // A tray that starts after the icon, as a panel started later does.
        FakeXEmbedTray tray(display.name(), height, slot);
        ASSERT_TRUE(FakePanel::waitFor([&] { return tray.shownIcons() == 1; }));
        EXPECT_EQ(tray.requestedSize(), QSize(44, 22));
        ASSERT_TRUE(FakePanel::waitFor([&] { return tray.iconPixels().pixel(15, 8) == ink; }));
        EXPECT_EQ(tray.iconPixels().pixel(31, 0), panelColour);
        EXPECT_EQ(told.value(told.size() - 1).value(0).value<QColor>(), QColor(panelColour));

        // A new look of the panel shows behind the scene within a second.
        tray.setBackground(0xffeeeeee);
        ASSERT_TRUE(
            FakePanel::waitFor([&] { return tray.iconPixels().pixel(31, 0) == 0xffeeeeee; }, 1500));
        EXPECT_EQ(tray.iconPixels().pixel(15, 8), ink);
        EXPECT_EQ(told.value(told.size() - 1).value(0).value<QColor>(), QColor(0xeeeeee));

        // Without the label: the narrower size is asked for and, until the tray follows, drawn
        // centred.
        view.setFrame({0, 0, 30, 22});
        EXPECT_TRUE(FakePanel::waitFor([&] {
            return tray.requestedSize() == QSize(30, 22) &&
                   tray.iconPixels().pixel(2, 8) == 0xffeeeeee;
        }));

        // The wheel's buttons first: once both clicks are in, so are they.
        for (const uint8_t button : {4, 1, 5, 3}) {
            tray.click(button);
        }
        ASSERT_TRUE(FakePanel::waitFor([&] { return clicked.size() >= 2; }));
        EXPECT_EQ(clicked.size(), 2);
    }
}

// A square slot gets the square variant. A size another client tells is no size; a huge one is
// painted as far as the panel shows it. A panel off the screen cannot be read: the icon keeps its
// look rather than make one up, and takes the panel's new one as soon as it is back. A tray that
// takes the icon out leaves no whale behind, and a new one docks.
TEST_F(XEmbedIconTest, PaintsWhatTheTrayShowsWhateverItDoesAndDocksAgainWhenDropped) {
    using Drop = FakeXEmbedTray::Drop;
    QSignalSpy told(&icon, &XEmbedIcon::backgroundChanged);
    QSignalSpy clicked(&icon, &XEmbedIcon::clicked);
    QSignalSpy embedded(&icon, &XEmbedIcon::embedded);
    QSignalSpy dropped(&icon, &XEmbedIcon::dropped);
    FakeXEmbedTray tray(display.name(), 26, {16, 16});
    ASSERT_TRUE(FakePanel::waitFor(
        [&] { return tray.shownIcons() == 1 && tray.iconPixels().pixel(8, 8) == squareInk; }));
    // A click tells the size taken once every event before it has been; the panel is 200 × 26,
    // the icon at (8, 5).
    for (const auto& [synthetic, taken] : {std::pair{true, QSize(16, 16)}, {false, {192, 21}}}) {
        tray.resize({30000, 30000}, synthetic);
        tray.click(1);
        ASSERT_TRUE(clicked.wait());
        EXPECT_EQ(clicked.takeFirst().at(0).toRect().size(), taken);
    }
    tray.setPanelShown(false);
    EXPECT_FALSE(told.wait(1200));   // two checks of the panel
    tray.setBackground(0xffeeeeee);  // a new look, seen as soon as the panel is back
    tray.setPanelShown(true);
    tray.click(1);
    ASSERT_TRUE(clicked.wait());
    EXPECT_EQ(told.value(told.size() - 1).value(0).value<QColor>(), QColor(0xeeeeee));

    for (const Drop how : {Drop::toRoot, Drop::withContainer, Drop::unmapped}) {
        const auto before = embedded.size();
        tray.drop(how);
        EXPECT_TRUE(FakePanel::waitFor(
            [&] { return tray.shownIcons() == 1 && embedded.size() == before + 1; }));
        EXPECT_EQ(dropped.size(), before);
    }
}
