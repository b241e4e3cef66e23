#include "platform/StatusItem.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QtEndian>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "QtPrinters.h"
#include "TestApp.h"

using platform::IconPixmap;
using platform::StatusItem;
using platform::View;

namespace {

// Paints nothing: the display pass's transparent images are all the test needs of it.
class BlankView : public View {
  public:
    explicit BlankView(Rect frame) : View(frame) {}
    void draw(Rect) override {}
};

class StatusItemTest : public ::testing::Test {
  protected:
    // A call to the item and back: every signal the item sent before it has arrived.
    void roundTrip() {
        panel.itemProperty("Id");
        QCoreApplication::processEvents();
    }

    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
};

quint32 pixelAt(const IconPixmap& pixmap, int x, int y) {
    const auto* bytes = reinterpret_cast<const uchar*>(pixmap.bytes.constData());
    return qFromBigEndian<quint32>(bytes + (y * pixmap.width + x) * 4);
}

}  // namespace

TEST_F(StatusItemTest, RegistersWithTheWatcherAndExportsItsProperties) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.connect());
    ASSERT_TRUE(panel.waitForItem());

    EXPECT_EQ(panel.registeredItems(),
              QStringList{QString("org.kde.StatusNotifierItem-%1-1").arg(getpid())});
    EXPECT_EQ(panel.itemProperty("Id").toString(), SPOUTWISE_APP_ID);
    EXPECT_EQ(panel.itemProperty("Title").toString(), "Spoutwise");
    EXPECT_EQ(panel.itemProperty("Category").toString(), "ApplicationStatus");
    EXPECT_EQ(panel.itemProperty("Status").toString(), "Active");
    EXPECT_EQ(panel.itemProperty("IconName").toString(), "");
    EXPECT_TRUE(panel.itemIsMenu());
    EXPECT_EQ(panel.menuPath(), "/MenuBar");
    EXPECT_TRUE(panel.iconPixmaps().isEmpty());
    for (const char* method : {"Activate", "SecondaryActivate", "ContextMenu"}) {
        EXPECT_TRUE(panel.callItem(method, {0, 0})) << method;
    }
    EXPECT_TRUE(panel.callItem("Scroll", {1, QString("vertical")}));
}

TEST_F(StatusItemTest, RegistersWhenTheWatcherAppearsLaterAndAgainAfterItRestarts) {
    StatusItem item(44.0, bus.connect());
    ASSERT_TRUE(panel.start());
    ASSERT_TRUE(panel.waitForItem());
    EXPECT_EQ(panel.registeredItems(), QStringList{item.serviceName()});

    panel.stop();
    ASSERT_TRUE(panel.start());
    ASSERT_TRUE(panel.waitForItem());
    EXPECT_EQ(panel.registeredItems(), QStringList{item.serviceName()});
}

TEST_F(StatusItemTest, RegistersWithAPanelThatTookTheWatcherNameOver) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.connect());
    ASSERT_TRUE(panel.waitForItem());

    FakePanel successor(bus.connect());
    ASSERT_TRUE(successor.replace());
    ASSERT_TRUE(successor.waitForItem());
    EXPECT_EQ(successor.registeredItems(), QStringList{item.serviceName()});
}

TEST_F(StatusItemTest, SecondItemOfTheProcessRegistersUnderItsUniqueName) {
    ASSERT_TRUE(panel.start());
    StatusItem first(44.0, bus.connect());
    auto connection = bus.connect();
    StatusItem second(44.0, connection);
    ASSERT_TRUE(panel.waitForItem(2));
    EXPECT_EQ(second.serviceName(), connection.baseService());
    EXPECT_EQ(panel.registeredItems(), (QStringList{first.serviceName(), second.serviceName()}));
}

TEST_F(StatusItemTest, IconPixmapsCarryTheImagesStraightAlphaInNetworkByteOrder) {
    QImage straight(44, 22, QImage::Format_ARGB32);
    straight.fill(0x80402010);
    straight.setPixel(43, 21, 0xff112233);
    QImage premultiplied(88, 44, QImage::Format_ARGB32_Premultiplied);
    premultiplied.fill(QColor(255, 0, 0, 128));

    const auto pixmaps = StatusItem::toIconPixmaps({straight, premultiplied});

    ASSERT_EQ(pixmaps.size(), 2);
    EXPECT_EQ(pixmaps[0].width, 44);
    EXPECT_EQ(pixmaps[0].height, 22);
    EXPECT_EQ(pixmaps[0].bytes.size(), 44 * 22 * 4);
    EXPECT_EQ(pixmaps[0].bytes.left(4), QByteArray("\x80\x40\x20\x10", 4));
    EXPECT_EQ(pixelAt(pixmaps[0], 43, 21), 0xff112233u);
    EXPECT_EQ(pixmaps[1].width, 88);
    EXPECT_EQ(pixmaps[1].height, 44);
    EXPECT_EQ(pixelAt(pixmaps[1], 87, 43), 0x80ff0000u);
}

TEST_F(StatusItemTest, ExportsTheViewsFramesAtBothScalesAndFollowsTheLength) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.connect());
    BlankView view({});
    item.button()->addSubview(view);
    view.setFrame(item.button()->bounds());
    view.setAutoresizingMask(View::widthSizable | View::heightSizable);
    ASSERT_TRUE(panel.waitForItem());

    // Sizing the view already schedules a pass of its own; count from here.
    const int sized = panel.newIconCount();
    view.setNeedsDisplay(true);
    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() > sized; }));
    auto pixmaps = panel.iconPixmaps();
    ASSERT_EQ(pixmaps.size(), 2);
    EXPECT_EQ(QSize(pixmaps[0].width, pixmaps[0].height), QSize(44, 22));
    EXPECT_EQ(QSize(pixmaps[1].width, pixmaps[1].height), QSize(88, 44));
    EXPECT_EQ(pixmaps[1].bytes, QByteArray(88 * 44 * 4, '\0'));

    item.setLength(30.0);
    EXPECT_EQ(view.frame(), (Rect{0, 0, 30, 22}));
    const int resized = panel.newIconCount();
    view.setNeedsDisplay(true);
    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() > resized; }));
    pixmaps = panel.iconPixmaps();
    ASSERT_EQ(pixmaps.size(), 2);
    EXPECT_EQ(QSize(pixmaps[0].width, pixmaps[0].height), QSize(30, 22));
    EXPECT_EQ(QSize(pixmaps[1].width, pixmaps[1].height), QSize(60, 44));
}

TEST_F(StatusItemTest, ViewWithoutTheSizableMaskKeepsItsFrame) {
    StatusItem item(44.0, bus.connect());
    EXPECT_EQ(item.button()->bounds(), (Rect{0, 0, 44, 22}));
    BlankView view({0, 0, 44, 22});
    item.button()->addSubview(view);
    item.setLength(30.0);
    EXPECT_EQ(item.button()->bounds(), (Rect{0, 0, 30, 22}));
    EXPECT_EQ(view.frame(), (Rect{0, 0, 44, 22}));
}

TEST_F(StatusItemTest, SendsOneNewIconPerPaintedFrameAndNoneWithoutPainting) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.connect());
    BlankView view({0, 0, 44, 22});
    item.button()->addSubview(view);
    ASSERT_TRUE(panel.waitForItem());

    roundTrip();
    EXPECT_EQ(panel.newIconCount(), 0);
    for (int i = 0; i < 3; ++i) {
        view.setNeedsDisplay(true);
    }
    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() >= 1; }));
    panel.iconPixmaps();
    panel.iconPixmaps();
    roundTrip();
    EXPECT_EQ(panel.newIconCount(), 1);

    view.setNeedsDisplay(true);
    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() >= 2; }));
    roundTrip();
    EXPECT_EQ(panel.newIconCount(), 2);
}

TEST_F(StatusItemTest, ToolTipTitleIsTheTextAndChangesAreSignalledOnce) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.connect());
    ASSERT_TRUE(panel.waitForItem());

    item.button()->setToolTip("CPU: 12%");
    item.button()->setToolTip("CPU: 12%");
    roundTrip();
    EXPECT_EQ(panel.newToolTipCount(), 1);
    EXPECT_EQ(panel.toolTip().title, "CPU: 12%");
    EXPECT_TRUE(panel.toolTip().iconPixmap.isEmpty());

    item.button()->setToolTip("CPU: 13%");
    roundTrip();
    EXPECT_EQ(panel.newToolTipCount(), 2);
    EXPECT_EQ(panel.toolTip().title, "CPU: 13%");
}
