#include "platform/tray/StatusItem.h"

#include <systemd/sd-bus.h>

#include <QApplication>
#include <QCursor>
#include <QtEndian>

#include "platform/tray/DBusMenuExporter.h"
#include "platform/tray/PopupMenu.h"
#include "platform/tray/StatusNotifierItem.h"
#include "platform/tray/XEmbedTray.h"

namespace platform {

namespace {

constexpr char watcherService[] = "org.kde.StatusNotifierWatcher";
constexpr char itemPath[] = "/StatusNotifierItem";
const QString menuObjectPath = "/MenuBar";

// Writes `image` into `pixmap` as the panel takes it, reusing its bytes; returns whether any
// byte changed. One pass un-premultiplies, swaps to network order and compares.
bool updateIconPixmap(IconPixmap& pixmap, const QImage& image) {
    const QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = premultiplied.width();
    const int height = premultiplied.height();
    bool changed = pixmap.width != width || pixmap.height != height;
    if (changed) {
        pixmap = {width, height, QByteArray(width * height * 4, '\0')};
    }
    auto* out = reinterpret_cast<quint32*>(pixmap.bytes.data());
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(premultiplied.constScanLine(y));
        for (int x = 0; x < width; ++x, ++out) {
            const quint32 value = qToBigEndian<quint32>(qUnpremultiply(in[x]));
            changed = changed || *out != value;
            *out = value;
        }
    }
    return changed;
}

// Writes `images`, then `square`, into `pixmaps`; returns whether anything changed. The wide
// ones lead and the wide 2x stays the largest, for hosts that take the first or the largest.
bool updateIconPixmaps(IconPixmapList& pixmaps, const std::vector<QImage>& images,
                       const std::vector<QImage>& square = {}) {
    const auto count = qsizetype(images.size() + square.size());
    bool changed = pixmaps.size() != count;
    pixmaps.resize(count);
    for (qsizetype i = 0; i < count; ++i) {
        const auto wide = qsizetype(images.size());
        const QImage& image = i < wide ? images[std::size_t(i)] : square[std::size_t(i - wide)];
        changed = updateIconPixmap(pixmaps[i], image) || changed;
    }
    return changed;
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

StatusItem::StatusItem(double length, std::shared_ptr<BusConnection> bus)
    : bus(std::move(bus)), itemLength(length) {
    object = std::make_unique<StatusNotifierItem>(*this, *this->bus, itemPath);
    itemService =
        QString("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    // Another item of this process may hold the name on a shared bus; the unique name serves too.
    if (!this->bus->requestName(itemService)) {
        itemService = this->bus->uniqueName();
    }
    if (this->bus->isConnected()) {
        const QByteArray rule = QByteArray(
                                    "type='signal',sender='org.freedesktop.DBus',"
                                    "member='NameOwnerChanged',arg0='") +
                                watcherService + "'";
        sd_bus_add_match(
            this->bus->get(), &watcherMatch, rule.constData(),
            [](sd_bus_message* signal, void* item, sd_bus_error*) {
                return watcherOwnerChanged(signal, item);
            },
            this);
    }
    registerWithWatcher();
}

StatusItem::~StatusItem() {
    sd_bus_slot_unref(registration);
    sd_bus_slot_unref(watcherMatch);
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
    updateIconPixmaps(result, images);
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
    object->emitSignal("NewToolTip");
    if (fallback) {
        fallback->setToolTip(text);
    }
}

// One painted frame: converted once here, into the last frame's bytes, then served to every
// property read until the next. A pass that repaints the same pixels (a scene at rest, a
// repeated request) sends nothing: comparing while converting costs far less than the panel's
// work on a NewIcon.
void StatusItem::exportFrame() {
    if (!updateIconPixmaps(pixmaps, view->images(), view->squareImages())) {
        return;
    }
    object->emitSignal("NewIcon");
    if (fallback) {
        fallback->setImages(view->images());
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

int StatusItem::watcherOwnerChanged(sd_bus_message* signal, void* item) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) >= 0) {
        static_cast<StatusItem*>(item)->watcherChanged(QString::fromUtf8(newOwner));
    }
    return 0;
}

void StatusItem::registerWithWatcher() {
    registration = sd_bus_slot_unref(registration);
    const int sent = bus->isConnected()
                         ? sd_bus_call_method_async(
                               bus->get(), &registration, watcherService, "/StatusNotifierWatcher",
                               watcherService, "RegisterStatusNotifierItem",
                               [](sd_bus_message* reply, void* item, sd_bus_error*) {
                                   return registrationFinished(reply, item);
                               },
                               this, "s", itemService.toUtf8().constData())
                         : -ENOTCONN;
    if (sent < 0) {
        showFallback();
        return;
    }
    // Writes the call now; its answer arrives through the event loop.
    bus->dispatch();
}

// Without a watcher the item waits quietly for one; on X11 an XEmbed icon stands in meanwhile.
int StatusItem::registrationFinished(sd_bus_message* reply, void* item) {
    auto* self = static_cast<StatusItem*>(item);
    self->registration = sd_bus_slot_unref(self->registration);
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        self->showFallback();
    }
    return 0;
}

void StatusItem::showFallback() {
    if (fallback || !XEmbedTray::available()) {
        return;
    }
    fallback = std::make_unique<XEmbedTray>();
    connect(fallback.get(), &XEmbedTray::clicked, this, [this] { popUpMenu({}); });
    fallback->setToolTip(toolTipText);
    if (view) {
        fallback->setImages(view->images());
    }
    fallback->show();
}

}  // namespace platform
