#include "platform/system/PowerMode.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <algorithm>

namespace platform {

namespace {

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString activeProfileName = QStringLiteral("ActiveProfile");

}  // namespace

PowerMode::PowerMode(QDBusConnection connection)
    : connection(std::move(connection)),
      sources{
          {{"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles", {}, 0},
           {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", {}, 0}}} {
    if (!this->connection.isConnected()) {
        return;
    }
    auto* watcher = new QDBusServiceWatcher(this);
    watcher->setConnection(this->connection);
    watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &PowerMode::serviceOwnerChanged);
    for (Source& source : sources) {
        watcher->addWatchedService(source.service);
        this->connection.connect(
            source.service, source.path, propertiesInterface, "PropertiesChanged", this,
            SLOT(propertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
        fetch(source);
    }
}

bool PowerMode::isLowPowerModeEnabled() const {
    return std::any_of(sources.begin(), sources.end(),
                       [](const Source& s) { return s.activeProfile == "power-saver"; });
}

void PowerMode::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                  const QStringList& invalidated, const QDBusMessage& message) {
    for (Source& source : sources) {
        if (source.service != interface || source.path != message.path()) {
            continue;
        }
        if (changed.contains(activeProfileName)) {
            setProfile(source, changed.value(activeProfileName).toString());
        } else if (invalidated.contains(activeProfileName)) {
            fetch(source);
        }
    }
}

void PowerMode::serviceOwnerChanged(const QString& service, const QString&,
                                    const QString& newOwner) {
    for (Source& source : sources) {
        if (source.service != service) {
            continue;
        }
        if (newOwner.isEmpty()) {
            setProfile(source, QString());
        } else {
            fetch(source);
        }
    }
}

// Asynchronous, so that a slow or absent daemon never blocks the main thread; no auto-start,
// since a load meter has no business starting a system daemon.
void PowerMode::fetch(Source& source) {
    auto get =
        QDBusMessage::createMethodCall(source.service, source.path, propertiesInterface, "Get");
    get << source.service << activeProfileName;
    get.setAutoStartService(false);
    auto* pending = new QDBusPendingCallWatcher(connection.asyncCall(get), this);
    const unsigned generation = ++source.generation;
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, &source, generation](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<QDBusVariant> reply = *call;
                if (source.generation == generation) {
                    setProfile(source,
                               reply.isValid() ? reply.value().variant().toString() : QString());
                }
                call->deleteLater();
            });
}

void PowerMode::setProfile(Source& source, const QString& profile) {
    ++source.generation;
    const bool before = isLowPowerModeEnabled();
    source.activeProfile = profile;
    if (isLowPowerModeEnabled() != before) {
        emit lowPowerModeChanged(!before);
    }
}

}  // namespace platform
