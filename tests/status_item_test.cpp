#include "platform/tray/StatusItem.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include "FakePanel.h"
#include "FakeXEmbedTray.h"
#include "PrivateBus.h"
#include "QtPrinters.h"
#include "StatusMenu.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "WhaleSceneView.h"
#include "platform/drawing/GraphicsContext.h"
#include "platform/system/Timer.h"
#include "platform/tray/DBusMenuExporter.h"

using platform::IconPixmap;
using platform::MenuTracking;
using platform::StatusItem;
using platform::View;

namespace {

// Paints nothing: the display pass's transparent images are all the test needs of it.
class BlankView : public View {
  public:
    explicit BlankView(Rect frame) : View(frame) {}
    void draw(Rect) override {}
};

// Paints one dot at `dotX`: the same position gives the same pixels.
class DotView : public View {
  public:
    explicit DotView(Rect frame) : View(frame) {}
    void draw(Rect) override {
        auto* context = platform::GraphicsContext::current();
        context->setFillColor(Qt::white);
        context->fillEllipseInRect({dotX, 8.0, 6.0, 6.0});
    }
    double dotX = 4.0;
};

class StatusItemTest : public ::testing::Test {
  protected:
    // A call to the item and back: every signal the item sent before it has arrived.
    void roundTrip() {
        panel.itemProperty("Id");
        QCoreApplication::processEvents();
    }

    // Repaints `view` and waits until the panel has heard whatever the pass sent.
    void repaint(View& view) {
        QSignalSpy displayed(&view, &View::displayed);
        view.setNeedsDisplay(true);
        ASSERT_TRUE(displayed.wait(5000));
        roundTrip();
    }

    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
};

// On an Xvfb display of its own: Qt runs on xcb, so popups and the XEmbed icon are real X11
// windows. Qt looks for a StatusNotifierWatcher on the session bus before it picks XEmbed for a
// tray icon; that bus is the private one too.
class StatusItemOnX11Test : public ::testing::Test {
  protected:
    StatusItemOnX11Test() { qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8()); }
    void SetUp() override {
        ASSERT_TRUE(display.isRunning());
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    }

    // The menu popup on screen, or null.
    static QMenu* shownPopup() {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return popup && popup->isVisible() ? popup : nullptr;
    }
    static bool waitForPopup() {
        return FakePanel::waitFor([] { return shownPopup() != nullptr; });
    }

    VirtualDisplay display;
    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
};

// The item with the app's menu, registered with a panel that forwards clicks to it.
class PopupTest : public StatusItemOnX11Test {
  protected:
    void SetUp() override {
        StatusItemOnX11Test::SetUp();
        // The panel first: the item then registers at once and never looks for an XEmbed tray.
        ASSERT_TRUE(panel.start());
        item = std::make_unique<StatusItem>(44.0, bus.itemBus());
        menu = std::make_unique<StatusMenu>(*item);
        ASSERT_TRUE(panel.waitForItem());
    }
    // Calls `method` as a host does for a click at `point`; the popup that opened, or null.
    QMenu* click(const char* method, QPoint point) {
        const bool called = panel.callItem(method, {point.x(), point.y()});
        return called && waitForPopup() ? shownPopup() : nullptr;
    }

    std::unique_ptr<StatusItem> item;
    std::unique_ptr<StatusMenu> menu;
};

quint32 pixelAt(const IconPixmap& pixmap, int x, int y) {
    const auto* bytes = reinterpret_cast<const uchar*>(pixmap.bytes.constData());
    return qFromBigEndian<quint32>(bytes + (y * pixmap.width + x) * 4);
}

}  // namespace

TEST_F(StatusItemTest, RegistersWithTheWatcherAndExportsItsProperties) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
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
    StatusItem item(44.0, bus.itemBus());
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
    StatusItem item(44.0, bus.itemBus());
    ASSERT_TRUE(panel.waitForItem());

    FakePanel successor(bus.connect());
    ASSERT_TRUE(successor.replace());
    ASSERT_TRUE(successor.waitForItem());
    EXPECT_EQ(successor.registeredItems(), QStringList{item.serviceName()});
}

TEST_F(StatusItemTest, SecondItemOfTheProcessRegistersUnderItsUniqueName) {
    ASSERT_TRUE(panel.start());
    StatusItem first(44.0, bus.itemBus());
    const auto connection = bus.itemBus();
    StatusItem second(44.0, connection);
    ASSERT_TRUE(panel.waitForItem(2));
    EXPECT_EQ(second.serviceName(), connection->uniqueName());
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

// Every channel a premultiplied pixel can hold comes back as the nearest straight value (Qt's
// bulk conversion is a step off for some of them).
TEST_F(StatusItemTest, IconPixmapsUnpremultiplyToTheNearestValue) {
    QImage premultiplied(256, 256, QImage::Format_ARGB32_Premultiplied);
    for (int alpha = 0; alpha < 256; ++alpha) {
        for (int value = 0; value < 256; ++value) {
            const int channel = std::min(value, alpha);
            premultiplied.setPixel(value, alpha, qRgba(channel, channel / 2, 0, alpha));
        }
    }
    const auto pixmaps = StatusItem::toIconPixmaps({premultiplied});
    ASSERT_EQ(pixmaps.size(), 1);
    for (int alpha = 1; alpha < 256; ++alpha) {
        for (int value = 0; value < 256; ++value) {
            const int channel = std::min(value, alpha);
            const auto nearest = [alpha](int c) {
                return int(std::floor(c * 255.0 / alpha + 0.5));
            };
            ASSERT_EQ(pixelAt(pixmaps[0], value, alpha),
                      qRgba(nearest(channel), nearest(channel / 2), 0, alpha))
                << value << ", " << alpha;
        }
    }
    EXPECT_EQ(pixelAt(pixmaps[0], 7, 0), 0u);
}

TEST_F(StatusItemTest, ExportsTheViewsFramesAtBothScalesAndFollowsTheLength) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    ASSERT_TRUE(panel.waitForItem());
    // Sizing the view schedules its first pass, which the panel now hears of.
    BlankView view({});
    item.button()->addSubview(view);
    view.setFrame(item.button()->bounds());
    view.setAutoresizingMask(View::widthSizable | View::heightSizable);

    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() == 1; }));
    auto pixmaps = panel.iconPixmaps();
    ASSERT_EQ(pixmaps.size(), 2);
    EXPECT_EQ(QSize(pixmaps[0].width, pixmaps[0].height), QSize(44, 22));
    EXPECT_EQ(QSize(pixmaps[1].width, pixmaps[1].height), QSize(88, 44));
    EXPECT_EQ(pixmaps[1].bytes, QByteArray(88 * 44 * 4, '\0'));

    item.setLength(30.0);
    EXPECT_EQ(view.frame(), (Rect{0, 0, 30, 22}));
    ASSERT_TRUE(panel.waitFor([&] { return panel.newIconCount() == 2; }));
    pixmaps = panel.iconPixmaps();
    ASSERT_EQ(pixmaps.size(), 2);
    EXPECT_EQ(QSize(pixmaps[0].width, pixmaps[0].height), QSize(30, 22));
    EXPECT_EQ(QSize(pixmaps[1].width, pixmaps[1].height), QSize(60, 44));
}

TEST_F(StatusItemTest, ViewWithoutTheSizableMaskKeepsItsFrame) {
    StatusItem item(44.0, bus.itemBus());
    EXPECT_EQ(item.button()->bounds(), (Rect{0, 0, 44, 22}));
    BlankView view({0, 0, 44, 22});
    item.button()->addSubview(view);
    item.setLength(30.0);
    EXPECT_EQ(item.button()->bounds(), (Rect{0, 0, 30, 22}));
    EXPECT_EQ(view.frame(), (Rect{0, 0, 44, 22}));
}

TEST_F(StatusItemTest, SendsNewIconOnlyForAFrameWhosePixelsChanged) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    DotView view({0, 0, 44, 22});
    item.button()->addSubview(view);
    ASSERT_TRUE(panel.waitForItem());

    roundTrip();
    EXPECT_EQ(panel.newIconCount(), 0);
    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 1);
    const auto first = panel.iconPixmaps();

    // Painted again into new images, pixel for pixel the same: nothing to tell the panel.
    repaint(view);
    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 1);

    view.dotX = 20.0;
    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 2);
    EXPECT_NE(panel.iconPixmaps().value(1).bytes, first.value(1).bytes);
    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 2);
}

// Wide 1x and 2x first, so that hosts taking the first or the largest keep the wide picture;
// then the square ones, which only square hosts pick. An unchanged scene sends nothing.
TEST_F(StatusItemTest, ExportsTheScenesSquareVariantAfterItsWideFrames) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    WhaleSceneView view(item.button()->bounds(),
                        std::make_shared<platform::Appearance>(QDBusConnection(QString())),
                        std::make_shared<platform::Random>());
    item.button()->addSubview(view);
    ASSERT_TRUE(panel.waitForItem());

    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 1);
    const auto first = panel.iconPixmaps();
    ASSERT_EQ(first.size(), 4);
    const QList<QSize> sizes{{44, 22}, {88, 44}, {22, 22}, {44, 44}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(QSize(first[i].width, first[i].height), sizes[i]) << i;
    }
    const auto square = StatusItem::toIconPixmaps(view.squareImages());
    ASSERT_EQ(square.size(), 2);
    EXPECT_EQ(first[2].bytes, square[0].bytes);
    EXPECT_EQ(first[3].bytes, square[1].bytes);

    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 1);
    view.usage = 1.0;
    view.phase = 1.0;  // the whale bobs up
    repaint(view);
    EXPECT_EQ(panel.newIconCount(), 2);
    EXPECT_NE(panel.iconPixmaps().value(3).bytes, first.value(3).bytes);
}

TEST_F(StatusItemTest, ToolTipTitleIsTheTextAndChangesAreSignalledOnce) {
    ASSERT_TRUE(panel.start());
    StatusItem item(44.0, bus.itemBus());
    ASSERT_TRUE(panel.waitForItem());

    item.button()->setToolTip("CPU: 12%");
    item.button()->setToolTip("CPU: 12%");
    roundTrip();
    EXPECT_EQ(panel.newToolTipCount(), 1);
    // Plain text in the title; hosts read the description as markup, so it stays empty.
    EXPECT_EQ(panel.toolTip().title, "CPU: 12%");
    EXPECT_TRUE(panel.toolTip().description.isEmpty());
    EXPECT_TRUE(panel.toolTip().iconName.isEmpty());
    EXPECT_TRUE(panel.toolTip().iconPixmap.isEmpty());

    item.button()->setToolTip("CPU: 13%");
    roundTrip();
    EXPECT_EQ(panel.newToolTipCount(), 2);
    EXPECT_EQ(panel.toolTip().title, "CPU: 13%");
}

TEST_F(PopupTest, EveryClickOpensTheExportedMenuAsAPopupAtThePointOrTheCursor) {
    QCursor::setPos(400, 300);
    ASSERT_TRUE(FakePanel::waitFor([] { return QCursor::pos() == QPoint(400, 300); }));
    const auto exported = panel.menuLayout().children;
    ASSERT_EQ(exported.size(), 8);

    const struct {
        const char* method;
        QPoint point;
        QPoint expected;
    } hostClicks[] = {
        {"Activate", {120, 30}, {120, 30}},
        {"SecondaryActivate", {300, 10}, {300, 10}},
        {"ContextMenu", {0, 0}, {400, 300}},
    };
    for (const auto& host : hostClicks) {
        SCOPED_TRACE(host.method);
        QMenu* popup = click(host.method, host.point);
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(popup->pos(), host.expected);
        EXPECT_TRUE(MenuTracking::active());

        const auto actions = popup->actions();
        ASSERT_EQ(actions.size(), exported.size());
        for (int i = 0; i < actions.size(); ++i) {
            const QVariantMap entry = exported[i].properties;
            EXPECT_EQ(actions[i]->isSeparator(), entry.value("type") == "separator") << i;
            if (actions[i]->isSeparator()) {
                continue;
            }
            EXPECT_EQ(actions[i]->text(), entry.value("label").toString()) << i;
            EXPECT_EQ(actions[i]->isEnabled(), entry.value("enabled", true).toBool()) << i;
            EXPECT_EQ(actions[i]->isCheckable(), entry.contains("toggle-type")) << i;
            EXPECT_EQ(actions[i]->isChecked(), entry.value("toggle-state", 0).toInt() == 1) << i;
        }
        popup->hide();
        EXPECT_FALSE(MenuTracking::active());
    }
}

TEST_F(PopupTest, ChoosingAnEntryOfThePopupRunsItsCommandAndEndsMenuTracking) {
    QMenu* popup = click("Activate", {200, 40});
    ASSERT_NE(popup, nullptr);
    QAction* about = popup->actions().value(6);
    ASSERT_EQ(about->text(), "关于 Spoutwise");
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(about).center());

    ASSERT_TRUE(panel.waitFor([&] { return !menu->chosen.isEmpty(); }));
    EXPECT_EQ(menu->chosen, QStringList{"showAbout:"});
    EXPECT_EQ(shownPopup(), nullptr);
    EXPECT_FALSE(MenuTracking::active());
}

TEST_F(PopupTest, OpenPopupShowsLiveTitlesWhileThePanelGetsOnlyTheChangedLabels) {
    ASSERT_NE(click("ContextMenu", {50, 50}), nullptr);

    menu->cpuItem->setTitle("CPU: 42% · 峰值 87%");
    menu->stateItem->setTitle("状态: 正常 🐟");
    const auto actions = shownPopup()->actions();
    EXPECT_EQ(actions[0]->text(), "CPU: 42% · 峰值 87%");
    EXPECT_EQ(actions[1]->text(), "状态: 正常 🐟");
    ASSERT_TRUE(panel.waitFor([&] { return panel.itemsPropertiesUpdatedCount() == 1; }));
    panel.menuRevision();
    QCoreApplication::processEvents();

    EXPECT_EQ(panel.layoutUpdatedCount(), 0);
    ASSERT_EQ(panel.itemsPropertiesUpdatedCount(), 1);
    const auto updates = panel.itemsPropertiesUpdates().first();
    ASSERT_EQ(updates.size(), 2);
    EXPECT_EQ(updates[0].id, 1);
    EXPECT_EQ(updates[0].properties, (QVariantMap{{"label", "CPU: 42% · 峰值 87%"}}));
    EXPECT_EQ(updates[1].id, 2);
    EXPECT_EQ(updates[1].properties, (QVariantMap{{"label", "状态: 正常 🐟"}}));
}

TEST_F(StatusItemOnX11Test, XEmbedIconStandsInOnlyWhileNoWatcherShowsTheItem) {
    FakeXEmbedTray tray(display.name());
    ASSERT_TRUE(tray.isRunning());
    StatusItem item(44.0, bus.itemBus());
    BlankView view({0, 0, 44, 22});
    item.button()->addSubview(view);
    view.setNeedsDisplay(true);
    ASSERT_TRUE(panel.waitFor([&] { return tray.shownIcons() == 1; }));

    // What the tray shows at the moment a panel takes the registration and shows the item.
    QList<int> xembedIconsAtRegistration;
    QObject::connect(&panel, &FakePanel::StatusNotifierItemRegistered,
                     [&] { xembedIconsAtRegistration.append(tray.shownIcons()); });
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(panel.start());
        ASSERT_TRUE(panel.waitForItem());
        EXPECT_EQ(xembedIconsAtRegistration.value(round), 0);
        EXPECT_EQ(tray.shownIcons(), 0);

        panel.stop();
        ASSERT_TRUE(panel.waitFor([&] { return tray.shownIcons() == 1; }));
    }
    EXPECT_EQ(xembedIconsAtRegistration.size(), 2);
}

TEST_F(StatusItemOnX11Test, ClickOnTheXEmbedIconOpensThePopup) {
    FakeXEmbedTray tray(display.name());
    StatusItem item(44.0, bus.itemBus());
    StatusMenu menu(item);
    ASSERT_TRUE(panel.waitFor([&] { return tray.shownIcons() == 1; }));

    tray.click(1);
    ASSERT_TRUE(waitForPopup());
    EXPECT_EQ(shownPopup()->actions().size(), 8);
}
