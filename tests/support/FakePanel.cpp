#include "FakePanel.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>

namespace platform {

// How a panel written with QtDBus reads the item's structured types.
const QDBusArgument& operator>>(const QDBusArgument& arg, IconPixmap& pixmap) {
    arg.beginStructure();
    arg >> pixmap.width >> pixmap.height >> pixmap.bytes;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayoutItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    item.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        item.children.append(
            qdbus_cast<DBusMenuLayoutItem>(child.variant().value<QDBusArgument>()));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& keys) {
    arg.beginStructure();
    arg >> keys.id >> keys.properties;
    arg.endStructure();
    return arg;
}

}  // namespace platform

namespace {

const QString watcherService = "org.kde.StatusNotifierWatcher";
const QString itemInterface = "org.kde.StatusNotifierItem";
const QString itemPath = "/StatusNotifierItem";
const QString menuInterface = "com.canonical.dbusmenu";
const QString propertiesInterface = "org.freedesktop.DBus.Properties";

// The item may be served by this very thread: the reply is awaited with the event loop running.
// QDBus::BlockWithGui looks for the reply and only then starts listening for it, unlocked: a
// reply that lands in between is missed and it waits for good.
QDBusMessage callWithEventLoop(const QDBusConnection& connection, const QDBusMessage& request) {
    // A watcher made after the reply still reports it; the call's timeout ends the wait.
    QDBusPendingCallWatcher watcher(connection.asyncCall(request, 5000));
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return watcher.reply();
}

}  // namespace

FakePanel::FakePanel(QDBusConnection bus) : bus(std::move(bus)) {
    qDBusRegisterMetaType<QList<int>>();
    this->bus.registerObject("/StatusNotifierWatcher", this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties);
}

FakePanel::~FakePanel() {
    stop();
    bus.unregisterObject("/StatusNotifierWatcher");
}

bool FakePanel::start(bool replace) {
    items.clear();
    const auto reply =
        bus.interface()->registerService(watcherService,
                                         replace ? QDBusConnectionInterface::ReplaceExistingService
                                                 : QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::AllowReplacement);
    return reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
}

void FakePanel::RegisterStatusNotifierItem(const QString& service) {
    // A service may also be given as an object path on the caller's own connection.
    const QString name = service.startsWith('/') ? message().service() : service;
    items.append(name);
    listenTo(name);
    emit StatusNotifierItemRegistered(name);
    if (hostAnnouncedOnRegistration) {
        emit StatusNotifierHostRegistered();
    }
}

void FakePanel::listenTo(const QString& service) {
    if (service == listenedService) {
        return;
    }
    listenedService = service;
    bus.connect(service, itemPath, itemInterface, "NewIcon", this, SLOT(onNewIcon()));
    bus.connect(service, itemPath, itemInterface, "NewToolTip", this, SLOT(onNewToolTip()));
    // Any path: the menu's path is only known from the item's properties.
    bus.connect(service, QString(), menuInterface, "LayoutUpdated", this,
                SLOT(onLayoutUpdated(uint, int)));
    bus.connect(service, QString(), menuInterface, "ItemsPropertiesUpdated", this,
                SLOT(onItemsPropertiesUpdated(QDBusMessage)));
}

QDBusMessage FakePanel::call(const QString& path, const QString& interface, const QString& method,
                             const QVariantList& args) {
    auto request =
        QDBusMessage::createMethodCall(items.value(items.size() - 1), path, interface, method);
    request.setArguments(args);
    return callWithEventLoop(bus, request);
}

QVariant FakePanel::itemProperty(const QString& name) {
    const auto reply = call(itemPath, propertiesInterface, "Get", {itemInterface, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

bool FakePanel::callItem(const QString& method, const QVariantList& args) {
    return call(itemPath, itemInterface, method, args).type() == QDBusMessage::ReplyMessage;
}

platform::IconPixmapList FakePanel::iconPixmaps() {
    return qdbus_cast<platform::IconPixmapList>(itemProperty("IconPixmap"));
}

platform::DBusMenuLayoutItem FakePanel::menuLayout(const QStringList& names) {
    const auto reply = call(menuPath(), menuInterface, "GetLayout", {0, -1, names});
    return qdbus_cast<platform::DBusMenuLayoutItem>(reply.arguments().value(1));
}

uint FakePanel::menuRevision() {
    const auto reply = call(menuPath(), menuInterface, "GetLayout", {0, 0, QStringList()});
    return reply.arguments().value(0).toUInt();
}

platform::DBusMenuItemList FakePanel::groupProperties(const QList<int>& ids,
                                                      const QStringList& names) {
    const auto reply =
        call(menuPath(), menuInterface, "GetGroupProperties", {QVariant::fromValue(ids), names});
    return qdbus_cast<platform::DBusMenuItemList>(reply.arguments().value(0));
}

bool FakePanel::sendEvent(int id, const QString& eventId) {
    const QVariantList args{id, eventId, QVariant::fromValue(QDBusVariant(0)), 0u};
    return call(menuPath(), menuInterface, "Event", args).type() == QDBusMessage::ReplyMessage;
}

bool FakePanel::aboutToShow(int id) {
    return call(menuPath(), menuInterface, "AboutToShow", {id}).arguments().value(0).toBool();
}

void FakePanel::resetCounts() {
    newIcons = newToolTips = layoutUpdates = 0;
    propertyUpdates.clear();
    propertyRemovals.clear();
}

void FakePanel::onItemsPropertiesUpdated(const QDBusMessage& signal) {
    const auto arguments = signal.arguments();
    propertyUpdates.append(qdbus_cast<platform::DBusMenuItemList>(arguments.value(0)));
    propertyRemovals.append(qdbus_cast<platform::DBusMenuItemKeysList>(arguments.value(1)));
}
