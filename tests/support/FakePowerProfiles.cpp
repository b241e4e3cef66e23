#include "FakePowerProfiles.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace {
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
}

FakePowerProfiles::FakePowerProfiles(QDBusConnection connection, Name name, QString activeProfile)
    : connection(std::move(connection)), profile(std::move(activeProfile)) {
    service =
        name == Name::Current ? "org.freedesktop.UPower.PowerProfiles" : "net.hadess.PowerProfiles";
    path = name == Name::Current ? "/org/freedesktop/UPower/PowerProfiles"
                                 : "/net/hadess/PowerProfiles";
    registered = this->connection.registerVirtualObject(path, this) &&
                 this->connection.registerService(service);
}

FakePowerProfiles::~FakePowerProfiles() {
    connection.unregisterService(service);
    connection.unregisterObject(path);
}

void FakePowerProfiles::setActiveProfile(const QString& newProfile) {
    store(newProfile);
    announce({{"ActiveProfile", newProfile}}, {});
}

void FakePowerProfiles::invalidateActiveProfile(const QString& newProfile) {
    store(newProfile);
    announce({}, {"ActiveProfile"});
}

void FakePowerProfiles::store(const QString& newProfile) {
    const std::lock_guard guard(lock);
    profile = newProfile;
}

void FakePowerProfiles::announce(const QVariantMap& changed, const QStringList& invalidated) {
    auto signal = QDBusMessage::createSignal(path, propertiesInterface, "PropertiesChanged");
    signal << service << changed << invalidated;
    connection.send(signal);
}

QString FakePowerProfiles::introspect(const QString&) const {
    return {};
}

bool FakePowerProfiles::handleMessage(const QDBusMessage& message,
                                      const QDBusConnection& replyConnection) {
    const auto args = message.arguments();
    if (message.interface() != propertiesInterface || message.member() != "Get" ||
        args.size() != 2 || args[0].toString() != service ||
        args[1].toString() != "ActiveProfile") {
        replyConnection.send(
            message.createErrorReply(QDBusError::UnknownProperty, "no such property"));
        return true;
    }
    ++gets;
    const std::lock_guard guard(lock);
    replyConnection.send(message.createReply(QVariant::fromValue(QDBusVariant(profile))));
    return true;
}
