#include "platform/tray/StatusItem.h"

#include <QApplication>
#include <QCursor>
#include <algorithm>

#include "platform/tray/DBusMenuExporter.h"
#include "platform/tray/IconPixmaps.h"
#include "platform/tray/PopupMenu.h"
#include "platform/tray/StatusNotifierItem.h"
#include "platform/tray/TrayRegistration.h"
#include "platform/tray/XEmbedIcon.h"
#include "platform/tray/XServer.h"

namespace platform {

namespace {

constexpr char itemPath[] = "/StatusNotifierItem";
const QString menuObjectPath = "/MenuBar";
// Frames a NewIcon waits for the panel to read the icon before the next one goes out anyway:
// 133 ms at 30 frames/s, longer than a host that debounces waits before it reads (GNOME's
// extension reads at most 11-16 times a second). Counted in frames because a held frame can
// only go out with a frame; a panel that never reads still gets 7.5 updates a second.
constexpr int unreadFramesBeforeNewIcon = 4;

}  // namespace

Rect StatusButton::bounds() const {
    return {0.0, 0.0, item.length(), StatusItem::thickness};
}

void StatusButton::addSubview(View& view) {
    item.attachView(view);
}

void StatusButton::setToolTip(const QString& text) {
    item.setToolTip(text);
}

StatusItem::StatusItem(double length, std::shared_ptr<BusConnection> bus)
    : bus(std::move(bus)), itemLength(length) {
    object =
        std::make_unique<StatusNotifierItem>(static_cast<Source&>(*this), *this->bus, itemPath);
    itemService =
        QString("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    // Another item of this process may hold the name on a shared bus; the unique name serves too.
    if (!this->bus->requestName(itemService)) {
        itemService = this->bus->uniqueName();
    }
    tray = std::make_unique<TrayRegistration>(*this->bus, itemService,
                                              [this](XEmbedIcon& icon) { dress(icon); });
    connect(tray.get(), &TrayRegistration::surfaceChanged, this, &StatusItem::surfaceChanged);
    connect(tray.get(), &TrayRegistration::watcherProcessChanged, this,
            [this] { host = TrayHost::ofProcess(tray->watcherProcess()); });
}

StatusItem::~StatusItem() {
    tray.reset();
    object.reset();
    exporter.reset();
    bus->releaseName(itemService);
}

StatusButton* StatusItem::button() {
    return &statusButton;
}

double StatusItem::length() const {
    return itemLength;
}

void StatusItem::setLength(double length) {
    const double delta = length - itemLength;
    itemLength = length;
    if (view && view->followsButtonSize()) {
        Rect frame = view->frame();
        frame.width += delta;
        view->setFrame(frame);
    }
}

void StatusItem::setMenu(std::unique_ptr<Menu> menu) {
    popup.reset();
    exporter.reset();
    itemMenu = std::move(menu);
    if (!itemMenu) {
        return;
    }
    exporter = std::make_unique<DBusMenuExporter>(*itemMenu, bus, menuObjectPath);
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        popup = std::make_unique<PopupMenu>(*itemMenu);
    }
}

Menu* StatusItem::menu() const {
    return itemMenu.get();
}

bool StatusItem::popUpMenu(QPoint position) {
    if (QGuiApplication::platformName().startsWith("wayland")) {
        return false;
    }
    // Not every host passes the item's place (MATE's notification area sends (0, 24) wherever
    // the item is); the pointer has just clicked the item, so a point far from it is not trusted.
    const QPoint pointer = QCursor::pos();
    popUpMenuAt({(position - pointer).manhattanLength() > 64 ? pointer : position, QSize(1, 1)});
    return true;
}

// The pointer has just clicked the item: the window under it is the panel.
void StatusItem::popUpMenuAt(QRect item) {
    if (popup) {
        popup->popup(item, XServer::topLevelAtPointer(), view && view->isDark());
    }
}

// A read serves the newest frame, held ones included.
const IconPixmapList& StatusItem::iconPixmaps() {
    newIconUnread = false;
    frameHeld = false;
    return pixmaps;
}

const QString& StatusItem::toolTip() const {
    return toolTipText;
}

QString StatusItem::menuPath() const {
    return menuObjectPath;
}

const QString& StatusItem::serviceName() const {
    return itemService;
}

DBusMenuExporter* StatusItem::menuExporter() const {
    return exporter.get();
}

void StatusItem::attachView(View& subview) {
    if (view) {
        disconnect(view, &View::displayed, this, &StatusItem::exportFrame);
    }
    view = &subview;
    connect(view, &View::displayed, this, &StatusItem::exportFrame);
    if (XEmbedIcon* icon = tray->xembedIcon()) {
        icon->setView(*view);
    }
    paintFrames(true);
    if (!view->images().empty()) {
        exportFrame();
    }
}

void StatusItem::setToolTip(const QString& text) {
    if (text == toolTipText) {
        return;
    }
    toolTipText = text;
    object->emitSignal("NewToolTip");
    if (XEmbedIcon* icon = tray->xembedIcon()) {
        icon->setToolTip(text);
    }
}

// One painted frame: converted once here, into the last frame's bytes, then served to every
// property read until the next. A pass that repaints the same pixels (a scene at rest, a
// repeated request) sends nothing: comparing while converting costs far less than the panel's
// work on a NewIcon. Nor does a changed frame while the panel has not read the icon since the
// last NewIcon: it is held, and its pixels are what the panel's read will get; a host that
// debounces would drop that signal anyway. While the XEmbed icon shows the item, it draws the
// view itself.
void StatusItem::exportFrame() {
    if (tray->showsXEmbedIcon()) {
        return;
    }
    const int frames = host.framesPerIcon;
    if (framesSinceNewIcon < unreadFramesBeforeNewIcon + frames) {
        ++framesSinceNewIcon;
    }
    if (paintingFrame) {
        frameHeld =
            shows(updateIconPixmaps(pixmaps, view->images(), view->squareImages())) || frameHeld;
    }
    const int gap = newIconUnread ? std::max(frames, unreadFramesBeforeNewIcon) : frames;
    if (frameHeld && framesSinceNewIcon >= gap) {
        object->emitSignal("NewIcon");
        frameHeld = false;
        newIconUnread = true;
        framesSinceNewIcon = 0;
    }
    paintFrames(framesSinceNewIcon + 1 >= frames);
}

// Whether the panel sees a change of the pictures of `changed` sizes.
bool StatusItem::shows(const QList<QSize>& changed) const {
    const bool offered = std::any_of(pixmaps.begin(), pixmaps.end(), [this](const auto& pixmap) {
        return QSize(pixmap.width, pixmap.height) == host.pictureDrawn;
    });
    return offered ? changed.contains(host.pictureDrawn) : !changed.isEmpty();
}

void StatusItem::paintFrames(bool paint) {
    paintingFrame = paint && !tray->showsXEmbedIcon();
    view->setPaintsImages(paintingFrame);
}

void StatusItem::dress(XEmbedIcon& icon) {
    connect(&icon, &XEmbedIcon::clicked, this, &StatusItem::popUpMenuAt);
    connect(&icon, &XEmbedIcon::backgroundChanged, this, [this](const QColor& colour) {
        if (view) {
            view->setPanelBackground(colour);
        }
    });
}

// The view paints the images for the watcher only while it shows the item; a watcher that gets
// the item back reads the current frame.
void StatusItem::surfaceChanged() {
    if (view) {
        framesSinceNewIcon = host.framesPerIcon;
        paintFrames(true);
        view->setNeedsDisplay(true);
    }
}

}  // namespace platform
