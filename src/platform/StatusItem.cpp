#include "platform/StatusItem.h"

#include <QApplication>
#include <QCursor>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QtEndian>

#include "platform/DBusMenuExporter.h"
#include "platform/PopupMenu.h"
#include "platform/StatusNotifierItem.h"
#include "platform/XEmbedTray.h"

namespace platform {

namespace {

const QString watcherService = "org.kde.StatusNotifierWatcher";
const QString itemPath = "/StatusNotifierItem";
const QString menuObjectPath = "/MenuBar";

IconPixmap toIconPixmap(const QImage& image) {
    const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    const int width = straight.width();
    IconPixmap pixmap{width, straight.height(), QByteArray(width * straight.height() * 4, '\0')};
    auto* out = reinterpret_cast<uchar*>(pixmap.bytes.data());
    for (int y = 0; y < straight.height(); ++y) {
        qToBigEndian<quint32>(straight.constScanLine(y), width, out + y * width * 4);
    }
    return pixmap;
}

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

StatusItem::StatusItem(double length, QDBusConnection bus)
    : bus(std::move(bus)), itemLength(length) {
    registerDBusTypes();
    object = std::make_unique<StatusNotifierItem>(*this);
    itemService =
        QString("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    // Another item of this process may hold the name on a shared bus; the unique name serves too.
    if (!this->bus.registerService(itemService)) {
        itemService = this->bus.baseService();
    }
    this->bus.registerObject(itemPath, object.get(), QDBusConnection::ExportAdaptors);
    auto* watcher = new QDBusServiceWatcher(watcherService, this->bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(
        watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString&, const QString& owner) { watcherChanged(owner); });
    registerWithWatcher();
}

StatusItem::~StatusItem() {
    bus.unregisterObject(itemPath);
    bus.unregisterService(itemService);
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
    if (view && (view->autoresizingMask() & View::widthSizable)) {
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

void StatusItem::popUpMenu(QPoint position) {
    if (popup) {
        popup->popup(position.isNull() ? QCursor::pos() : position);
    }
}

const IconPixmapList& StatusItem::iconPixmaps() const {
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

IconPixmapList StatusItem::toIconPixmaps(const std::vector<QImage>& images) {
    IconPixmapList result;
    result.reserve(qsizetype(images.size()));
    for (const QImage& image : images) {
        result.append(toIconPixmap(image));
    }
    return result;
}

void StatusItem::attachView(View& subview) {
    if (view) {
        disconnect(view, &View::displayed, this, &StatusItem::exportFrame);
    }
    view = &subview;
    connect(view, &View::displayed, this, &StatusItem::exportFrame);
    if (!view->images().empty()) {
        exportFrame();
    }
}

void StatusItem::setToolTip(const QString& text) {
    if (text == toolTipText) {
        return;
    }
    toolTipText = text;
    emit object->NewToolTip();
    if (fallback) {
        fallback->setToolTip(text);
    }
}

// One painted frame: converted once here, then served to every property read until the next.
// A pass that repaints the same pixels (a scene at rest, a repeated request) sends nothing:
// comparing costs far less than converting and than the panel's work on a NewIcon.
void StatusItem::exportFrame() {
    if (view->images() == exportedImages) {
        return;
    }
    exportedImages = view->images();
    pixmaps = toIconPixmaps(exportedImages);
    emit object->NewIcon();
    if (fallback) {
        fallback->setImages(exportedImages);
    }
}

// A new owner of the watcher name is a new panel, also when it took the name over directly.
// The panel shows the item as soon as it is registered, so the XEmbed icon goes first: there is
// never a moment with two icons.
void StatusItem::watcherChanged(const QString& owner) {
    if (owner.isEmpty()) {
        showFallback();
        return;
    }
    fallback.reset();
    registerWithWatcher();
}

void StatusItem::registerWithWatcher() {
    const auto call = QDBusMessage::createMethodCall(watcherService, "/StatusNotifierWatcher",
                                                     watcherService, "RegisterStatusNotifierItem")
                      << itemService;
    // Only the answer to the latest call tells whether a panel now shows the item.
    delete registration;
    registration = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(registration, &QDBusPendingCallWatcher::finished, this,
            &StatusItem::registrationFinished);
}

// Without a watcher the item waits quietly for one; on X11 an XEmbed icon stands in meanwhile.
void StatusItem::registrationFinished(QDBusPendingCallWatcher* call) {
    call->deleteLater();
    if (call->isError()) {
        showFallback();
    }
}

void StatusItem::showFallback() {
    if (fallback || !XEmbedTray::available()) {
        return;
    }
    fallback = std::make_unique<XEmbedTray>();
    connect(fallback.get(), &XEmbedTray::clicked, this, [this] { popUpMenu({}); });
    fallback->setToolTip(toolTipText);
    fallback->setImages(exportedImages);
    fallback->show();
}

}  // namespace platform
