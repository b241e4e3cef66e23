#include "platform/tray/StatusItem.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSignalSpy>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "QtPrinters.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "platform/drawing/GraphicsContext.h"

using platform::StatusItem;
using platform::View;

namespace {

// Paints one dot at `dotX`, in its wide and its square picture: the same position gives the
// same pixels.
class DotView : public View {
  public:
    explicit DotView(Rect frame) : View(frame) {}
    void draw(Rect) override {
        platform::GraphicsContext::current()->fillEllipseInRect({dotX, 8, 6, 6});
    }
    bool hasSquareVariant() const override { return true; }
    void drawSquare(Rect square) override { draw(square); }
    double dotX = 4.0;
};

class StatusItemTest : public ::testing::Test {
  protected:
    // Repaints `view` and waits until the panel has heard whatever the pass sent.
    void repaint(View& view) {
        QSignalSpy displayed(&view, &View::displayed);
        view.setNeedsDisplay(true);
        ASSERT_TRUE(displayed.wait(5000));
        panel.itemProperty("Id");
    }
    QList<QSize> iconSizes() {
        QList<QSize> sizes;
        for (const auto& pixmap : panel.iconPixmaps()) {
            sizes.append({pixmap.width, pixmap.height});
        }
        return sizes;
    }

    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
};

}  // namespace

TEST_F(StatusItemTest, RegistersUnderItsNameAndServesItsPropertiesAndClicks) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    ASSERT_TRUE(panel.waitForItem());

    EXPECT_EQ(panel.registeredItems(),
              QStringList{QString("org.kde.StatusNotifierItem-%1-1").arg(getpid())});
    const QVariantMap expected{
        {"Id", SPOUTWISE_APP_ID}, {"Title", "Spoutwise"}, {"Category", "ApplicationStatus"},
        {"Status", "Active"},     {"IconName", ""},       {"WindowId", 0},
        {"ItemIsMenu", true}};
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        EXPECT_EQ(panel.itemProperty(it.key()), it.value()) << it.key().toStdString();
    }
    EXPECT_EQ(panel.menuPath(), "/MenuBar");
    EXPECT_TRUE(panel.iconPixmaps().isEmpty());
    for (const char* method : {"Activate", "SecondaryActivate", "ContextMenu"}) {
        EXPECT_TRUE(panel.callItem(method, {0, 0})) << method;
    }
    EXPECT_TRUE(panel.callItem("Scroll", {1, QString("vertical")}));
}

// Another item of the process on the same connection cannot have the well-known name.
TEST_F(StatusItemTest, SecondItemOfTheProcessRegistersUnderItsUniqueName) {
    ASSERT_TRUE(panel.start());
    const auto connection = bus.itemBus();
    StatusItem first(44.0, connection);
    StatusItem second(44.0, connection);
    ASSERT_TRUE(panel.waitForItem(2));
    EXPECT_EQ(second.serviceName(), connection->uniqueName());
    EXPECT_EQ(panel.registeredItems(), (QStringList{first.serviceName(), second.serviceName()}));
}

// Wide 1x and 2x first, then the square ones; a repaint of the same pixels sends nothing.
TEST_F(StatusItemTest, SendsNewIconOnlyForChangedFramesWideThenSquareAtTheItemsLength) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    ASSERT_TRUE(panel.waitForItem());
    // Sizing the view schedules its first pass, which the panel now hears of.
    DotView view({});
    item.button()->addSubview(view);
    view.setFrame(item.button()->bounds());
    view.setAutoresizingMask(View::widthSizable | View::heightSizable);

    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() == 1; }));
    EXPECT_EQ(iconSizes(), (QList<QSize>{{44, 22}, {88, 44}, {22, 22}, {44, 44}}));
    const auto first = panel.iconPixmaps();
    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 1);
    view.dotX = 20.0;
    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 2);
    EXPECT_NE(panel.iconPixmaps().value(1).bytes, first.value(1).bytes);

    item.setLength(30.0);
    EXPECT_EQ(view.frame(), (Rect{0, 0, 30, 22}));
    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() == 3; }));
    EXPECT_EQ(iconSizes().mid(0, 2), (QList<QSize>{{30, 22}, {60, 44}}));
}

// Until the panel reads the icon, a changed frame sends no second NewIcon but is held: the read
// gets it. A panel that does not read gets the held frame with the fourth frame, changed or not.
TEST_F(StatusItemTest, NoNewIconBeforeThePanelReadsOrFourFramesPass) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    ASSERT_TRUE(panel.waitForItem());
    DotView view({});
    item.button()->addSubview(view);
    view.setFrame(item.button()->bounds());
    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() == 1; }));
    const auto paint = [&](double dotX) {
        view.dotX = dotX;
        repaint(view);
        return panel.newIconCount();
    };

    EXPECT_EQ(paint(6), 1);
    EXPECT_EQ(paint(8), 1);
    EXPECT_EQ(paint(10), 1);
    panel.iconPixmaps();
    EXPECT_EQ(paint(10), 1);
    EXPECT_EQ(paint(12), 2);

    EXPECT_EQ(paint(14), 2);
    EXPECT_EQ(paint(14), 2);
    EXPECT_EQ(paint(14), 2);
    EXPECT_EQ(paint(14), 3);
    for (int frame = 0; frame < 4; ++frame) {
        EXPECT_EQ(paint(14), 3);
    }
}

TEST_F(StatusItemTest, ToolTipTitleIsTheTextAndChangesAreSignalledOnce) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    ASSERT_TRUE(panel.waitForItem());

    item.button()->setToolTip("CPU: 12%");
    item.button()->setToolTip("CPU: 12%");
    panel.itemProperty("Id");
    EXPECT_EQ(panel.newToolTipCount(), 1);
    // Plain text in the title; hosts read the description as markup, so it stays empty.
    const auto toolTip = panel.toolTip();
    EXPECT_EQ(toolTip.title, "CPU: 12%");
    EXPECT_TRUE(toolTip.description.isEmpty() && toolTip.iconName.isEmpty());
    EXPECT_TRUE(toolTip.iconPixmap.isEmpty());
    EXPECT_EQ(panel.itemProperty("IconAccessibleDesc"), "CPU: 12%");
}

// Hosts forward clicks in three ways; each opens the menu as a popup below the host's point (no
// panel here), or the cursor when the host's point is none or far from the cursor that just
// clicked. Qt runs on xcb here, so the popup is a real X11 window.
TEST(StatusItemOnX11Test, EveryClickOpensThePopupAtThePointOrTheCursor) {
    VirtualDisplay display;
    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
    ASSERT_TRUE(display.isRunning());
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    item.setMenu(std::make_unique<platform::Menu>());
    item.menu()->addItem(std::make_shared<platform::MenuItem>("退出 Spoutwise", nullptr, "q"));
    ASSERT_TRUE(panel.waitForItem());
    QCursor::setPos(400, 300);
    ASSERT_TRUE(FakePanel::waitFor([] { return QCursor::pos() == QPoint(400, 300); }));

    const auto shownPopup = [] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return popup && popup->isVisible() ? popup : nullptr;
    };
    const struct {
        const char* method;
        QPoint point, expected;
    } hostClicks[] = {
        {"Activate", {380, 290}, {380, 291}},
        {"SecondaryActivate", {0, 24}, {400, 301}},  // MATE's point, wherever the item is
        {"ContextMenu", {0, 0}, {400, 301}},
    };
    for (const auto& host : hostClicks) {
        SCOPED_TRACE(host.method);
        ASSERT_TRUE(panel.callItem(host.method, {host.point.x(), host.point.y()}));
        ASSERT_TRUE(FakePanel::waitFor([&] { return shownPopup() != nullptr; }));
        EXPECT_EQ(shownPopup()->pos(), host.expected);
        shownPopup()->hide();
    }
}
