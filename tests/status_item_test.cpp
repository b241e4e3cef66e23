#include "platform/tray/StatusItem.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <array>

#include "FakePanel.h"
#include "PrivateBus.h"
#include "TestApp.h"
#include "VirtualDisplay.h"
#include "platform/drawing/GraphicsContext.h"
#include "platform/system/Timer.h"
#include "platform/tray/DBusMenuExporter.h"
#include "platform/tray/PopupMenu.h"
#include "platform/tray/TrayHost.h"
#include "platform/tray/WorkArea.h"

using platform::MenuItem;
using platform::MenuTracking;
using platform::StatusItem;
using platform::View;

namespace {

// One dot at `dotX`, and in the square at `squareX`: the same position gives the same pixels.
class DotView : public View {
  public:
    explicit DotView(Rect frame) : View(frame) {}
    void draw(Rect) override { dot(dotX); }
    bool hasSquareVariant() const override { return true; }
    void drawSquare(Rect) override { dot(squareX); }
    void dot(double x) { platform::GraphicsContext::current()->fillEllipseInRect({x, 8, 6, 6}); }
    double dotX = 4.0;
    double squareX = 4.0;
};

class StatusItemTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(panel.start()); }
    // Gives the registered item `view`, sized with the item; its first pass is heard.
    void show(DotView& view) {
        ASSERT_TRUE(panel.waitForItem());
        item.button()->addSubview(view);
        view.setFrame(item.button()->bounds());
        view.setFollowsButtonSize(true);
        ASSERT_TRUE(panel.waitFor([&] { return panel.newIcons == 1; }));
    }
    // Repaints the view with its dot at `dotX` and returns the NewIcons the panel heard so far.
    int paint(DotView& view, double dotX) {
        QSignalSpy displayed(&view, &View::displayed);
        view.dotX = dotX;
        view.setNeedsDisplay(true);
        EXPECT_TRUE(displayed.wait(5000));
        panel.itemProperty("Id");  // a round trip: what the pass sent has arrived
        return panel.newIcons;
    }
    // Moves the wide dot, and the square's too with `square`, one pixel in each of `frames`
    // frames, the panel reading every NewIcon at once; returns the NewIcons sent.
    int moveDots(DotView& view, int frames, bool square) {
        const int before = panel.newIcons;
        for (int i = 0; i < frames; ++i) {
            panel.iconPixmaps();
            view.squareX += square ? 1.0 : 0.0;
            paint(view, view.dotX + 1.0);
        }
        return panel.newIcons - before;
    }

    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
    StatusItem item{44.0, bus.itemBus()};
};

// A menu of every kind of entry, exported by a status item that a fake panel reads; records the
// commands chosen.
class MenuTest : public StatusItemTest {
  protected:
    void SetUp() override {
        StatusItemTest::SetUp();
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
        ASSERT_TRUE(panel.waitForItem());
    }
    std::vector<std::shared_ptr<MenuItem>> entries;
    QStringList chosen;
};

QVariant shortcut(const QString& key) {
    return QVariant::fromValue(platform::DBusMenuShortcut{{"Control", key}});
}

}  // namespace

TEST_F(StatusItemTest, RegistersUnderItsNameAndServesItsPropertiesAndToolTip) {
    ASSERT_TRUE(panel.waitForItem());
    EXPECT_EQ(panel.registeredItems(),
              QStringList{QString("org.kde.StatusNotifierItem-%1-1").arg(getpid())});
    // Also what hosts read although the item leaves it empty (LXQt logs an error per miss).
    const QVariantMap expected{
        {"Id", SPOUTWISE_APP_ID},  {"Title", "Spoutwise"},    {"Category", "ApplicationStatus"},
        {"Status", "Active"},      {"IconName", ""},          {"WindowId", 0},
        {"ItemIsMenu", true},      {"IconThemePath", ""},     {"OverlayIconName", ""},
        {"AttentionIconName", ""}, {"AttentionMovieName", ""}};
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        EXPECT_EQ(panel.itemProperty(it.key()), it.value()) << it.key().toStdString();
    }
    EXPECT_EQ(panel.menuPath(), "/MenuBar");
    for (const char* unused : {"OverlayIconPixmap", "AttentionIconPixmap"}) {
        EXPECT_TRUE(panel.itemProperty(unused).isValid()) << unused;
    }

    // Plain text in the tooltip's title; hosts read the description as markup, so it stays empty.
    item.button()->setToolTip("CPU: 12%");
    item.button()->setToolTip("CPU: 12%");
    QString iconName, title, description;
    const auto toolTip = panel.itemProperty("ToolTip").value<QDBusArgument>();  // (sa(iiay)ss)
    toolTip.beginStructure();
    toolTip >> iconName;
    toolTip.beginArray();
    EXPECT_TRUE(toolTip.atEnd());  // no images
    toolTip.endArray();
    toolTip >> title >> description;
    EXPECT_EQ(panel.newToolTips, 1);
    EXPECT_EQ(QStringList({iconName, title, description}), QStringList({"", "CPU: 12%", ""}));
    EXPECT_EQ(panel.itemProperty("IconAccessibleDesc"), "CPU: 12%");

    // Another item of the process cannot have the well-known name.
    StatusItem second(44.0, bus.itemBus());
    ASSERT_TRUE(panel.waitForItem(2));
    EXPECT_EQ(panel.registeredItems().value(1), second.serviceName());
    EXPECT_TRUE(second.serviceName().startsWith(':'));
}

// The wide picture first (1x; 2x only on a dense screen), then the squares, 16 and 22 pixels;
// a repaint of the same pixels sends nothing. Until the panel reads the icon, a changed frame
// sends no second NewIcon but is held: the read gets it. A panel that does not read gets the
// held frame with the fourth frame, changed or not.
TEST_F(StatusItemTest, SendsNewIconForChangedFramesOnlyOnceThePanelReadOrFourFramesPassed) {
    DotView view({});
    show(view);
    QList<QSize> sizes;
    for (const auto& pixmap : panel.iconPixmaps()) {
        sizes.append({pixmap.width, pixmap.height});
    }
    EXPECT_EQ(sizes, (QList<QSize>{{44, 22}, {16, 16}, {22, 22}}));
    const auto first = panel.iconPixmaps();
    EXPECT_EQ(paint(view, 4), 1);
    EXPECT_EQ(paint(view, 6), 2);
    EXPECT_EQ(paint(view, 8), 2);
    EXPECT_EQ(paint(view, 10), 2);
    EXPECT_NE(panel.iconPixmaps().value(0).bytes, first.value(0).bytes);
    EXPECT_EQ(paint(view, 10), 2);
    EXPECT_EQ(paint(view, 12), 3);
    for (const int sent : {3, 3, 3, 4, 4, 4, 4, 4}) {  // changed once, then never read
        EXPECT_EQ(paint(view, 14), sent);
    }

    item.setLength(30.0);
    EXPECT_EQ(view.frame(), (Rect{0, 0, 30, 22}));
    EXPECT_TRUE(panel.waitFor([&] { return panel.iconPixmaps().value(0).width == 30; }));
}

// The program that serves the watcher says what its panel shows (this test plays the program
// by its own name): a program not known gets every changed frame; a known one at most one
// NewIcon per its frames, and where it draws one picture, none for a change of another.
TEST_F(StatusItemTest, PacesNewIconsToWhatTheWatchersProgramShows) {
    std::array<char, 16> ownName{};
    prctl(PR_GET_NAME, ownName.data());
    const auto restore = qScopeGuard([&] { prctl(PR_SET_NAME, ownName.data()); });
    DotView view({});
    show(view);
    EXPECT_EQ(moveDots(view, 12, false), 12);
    for (const char* program : {"waybar", "kded5"}) {
        const platform::TrayHost host = platform::TrayHost::named(program);
        ASSERT_GT(host.framesPerIcon, 1) << program;
        prctl(PR_SET_NAME, program);
        panel.stop();
        ASSERT_TRUE(panel.start());
        ASSERT_TRUE(panel.waitForItem()) << program;
        EXPECT_EQ(moveDots(view, 12, false),
                  host.pictureDrawn.isEmpty() ? 12 / host.framesPerIcon : 0)
            << program;
        EXPECT_EQ(moveDots(view, 12, true), 12 / host.framesPerIcon) << program;
    }
}

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
    EXPECT_EQ(std::tuple(actions[1]->isSeparator(), actions[0]->isEnabled(),
                         actions[2]->isChecked(), actions[4]->isCheckable()),
              std::tuple(true, false, true, false));
    EXPECT_EQ(actions[2]->shortcut(), QKeySequence("Ctrl+P"));
    entries[4]->setTitle("x");
    entries[4]->setTitle("command");  // set back within the pass: nothing to send
    entries[0]->setTitle("c_d");
    entries[0]->setEnabled(true);
    entries[2]->setState(0);
    EXPECT_EQ(std::tuple(actions[0]->text(), actions[0]->isEnabled(), actions[2]->isChecked()),
              std::tuple(QString("c_d"), true, false));
    ASSERT_TRUE(panel.waitFor([&] { return panel.propertyUpdates.size() == 1; }));
    panel.menuRevision();  // a round trip: any second update would have arrived
    QCoreApplication::processEvents();
    ASSERT_EQ(panel.propertyUpdates.size(), 1);
    const auto updates = panel.propertyUpdates.first();
    ASSERT_EQ(updates.size(), 2);
    EXPECT_EQ(std::pair(updates[0].id, updates[0].properties),
              std::pair(1, QVariantMap{{"label", "c__d"}}));
    EXPECT_EQ(std::pair(updates[1].id, updates[1].properties),
              std::pair(3, QVariantMap{{"toggle-state", 0}}));
    const auto removed = panel.propertyRemovals.first().value(0);
    EXPECT_EQ(std::pair(removed.id, removed.properties), std::pair(1, QStringList{"enabled"}));

    item.menu()->addItem(std::make_shared<MenuItem>("late", MenuItem::Action(), ""));
    ASSERT_TRUE(panel.waitFor([&] { return panel.layoutUpdates == 1; }));
    EXPECT_EQ(panel.menuRevision(), 2u);
    EXPECT_EQ(panel.menuLayout().children.value(5).properties.value("label"), "late");
    EXPECT_EQ(popup.widget().actions().value(5)->text(), "late");
    actions[4]->trigger();
    EXPECT_TRUE(chosen.isEmpty());  // run from the loop, once the popup has closed
    ASSERT_TRUE(panel.waitFor([&] { return !chosen.isEmpty(); }));
}

// On a dark panel the popup is dark, as the panel's own menus are there.
TEST_F(MenuTest, PopupIsDarkOnADarkPanel) {
    platform::PopupMenu popup(*item.menu());
    for (const bool dark : {false, true}) {
        popup.popup({10, 10, 1, 1}, {}, dark);
        const QPalette palette = popup.widget().palette();
        EXPECT_EQ(palette.color(QPalette::Window).lightness() <
                      palette.color(QPalette::WindowText).lightness(),
                  dark);
        popup.widget().hide();
    }
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

// The popup opens beside the panel, from the item's start, never over the item or a panel, on
// the screen.
TEST(PopupPlacementTest, OpensBesideThePanelOffEveryPanel) {
    const auto at = [](QRect item, QRect panel, QRect free = {0, 0, 1000, 600}) {
        return platform::PopupMenu::placement(item, panel, {0, 0, 1000, 600}, free, {200, 150});
    };
    EXPECT_EQ(at({900, 5, 32, 16}, {0, 0, 1000, 26}), QPoint(800, 26));
    EXPECT_EQ(at({100, 579, 32, 16}, {0, 574, 1000, 26}), QPoint(100, 424));
    EXPECT_EQ(at({5, 300, 30, 15}, {0, 0, 40, 600}), QPoint(40, 300));
    // A window in the middle of the screen is no panel: beside the item itself.
    EXPECT_EQ(at({400, 250, 1, 1}, {300, 200, 400, 100}), QPoint(400, 251));
    // LXQt's tray passes a click on by moving its container of the icon under the pointer, so
    // the window there is that container; the bottom panel's strut still tells where it is.
    EXPECT_EQ(at({884, 570, 32, 32}, {884, 570, 32, 32}, {0, 0, 1000, 568}), QPoint(800, 418));
    EXPECT_EQ(at({5, 300, 30, 15}, {}, {40, 30, 960, 570}), QPoint(40, 300));
}

// Panels reserve their edge with a strut that counts as long as they are mapped, also where no
// window manager makes a work area of it (none runs here).
TEST(WorkAreaOnX11Test, LeavesOutWhatMappedWindowsReserve) {
    VirtualDisplay display;
    TestApp app;
    ASSERT_TRUE(display.isRunning());
    const QScreen& screen = *QGuiApplication::primaryScreen();
    const QRect whole = screen.geometry();
    QWidget dock;
    dock.setGeometry(0, whole.bottom() - 31, whole.width(), 32);
    const std::array<uint32_t, 12> strut{0, 0, 0, 32, 0, 0, 0, 0, 0, 0, 0, uint32_t(whole.width())};
    auto* connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, 0, 21, "_NET_WM_STRUT_PARTIAL"), nullptr),
        &free);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(dock.winId()), atom->atom,
                        XCB_ATOM_CARDINAL, 32, strut.size(), strut.data());
    EXPECT_EQ(platform::workArea(screen), whole);
    dock.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dock));
    EXPECT_EQ(platform::workArea(screen), whole.adjusted(0, 0, 0, -32));
}

// Hosts forward clicks in three ways; each opens the menu as a popup below the host's point (no
// panel here), or the cursor when the host's point is none or far from the cursor that just
// clicked. Qt runs on xcb here, so the popup is a real X11 window.
TEST(StatusItemOnX11Test, EveryClickOpensThePopupAtThePointOrTheCursor) {
    VirtualDisplay display;
    TestApp app;
    PrivateBus bus;
    FakePanel panel{bus.connect()};
    ASSERT_TRUE(display.isRunning() && panel.start());
    StatusItem item(44.0, bus.itemBus());
    item.setMenu(std::make_unique<platform::Menu>());
    item.menu()->addItem(std::make_shared<platform::MenuItem>("退出 Spoutwise", nullptr, "q"));
    ASSERT_TRUE(panel.waitForItem());
    QCursor::setPos(400, 300);
    ASSERT_TRUE(FakePanel::waitFor([] { return QCursor::pos() == QPoint(400, 300); }));

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
        QWidget* popup = nullptr;
        ASSERT_TRUE(FakePanel::waitFor(
            [&] { return (popup = QApplication::activePopupWidget()) && popup->isVisible(); }));
        EXPECT_EQ(popup->pos(), host.expected);
        popup->hide();
    }
}
