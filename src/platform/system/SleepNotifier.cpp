#include "platform/system/SleepNotifier.h"

#include <QDBusConnectionInterface>
#include <algorithm>

namespace platform {

namespace {

const QString logindService = QStringLiteral("org.freedesktop.login1");

bool logindReachable(const QDBusConnection& connection) {
    QDBusConnectionInterface* bus = connection.interface();
    if (bus->isServiceRegistered(logindService).value()) {
        return true;
    }
    return bus->activatableServiceNames().value().contains(logindService);
}

}  // namespace

SleepNotifier::SleepNotifier(QDBusConnection connection, std::shared_ptr<const Logger> log)
    : connection(std::move(connection)), log(std::move(log)) {
    listen();
}

void SleepNotifier::listen() {
    if (!connection.isConnected()) {
        log->error("no system bus, sleep and wake will not be seen: %s",
                   connection.lastError().message().toStdString());
        return;
    }
    // The match follows the name, so a logind that starts later is heard from then on.
    connection.connect(logindService, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                       "PrepareForSleep", this, SLOT(prepareForSleep(bool)));
    if (!logindReachable(connection)) {
        log->info(
            "systemd-logind is not on the system bus: sleep and wake will not be seen until it "
            "starts");
    }
}

SleepNotifier::Token SleepNotifier::addObserver(Event event, std::function<void()> callback) {
    observers.push_back({nextToken, event, std::move(callback)});
    return nextToken++;
}

void SleepNotifier::removeObserver(Token token) {
    std::erase_if(observers, [token](const Observer& o) { return o.token == token; });
}

void SleepNotifier::prepareForSleep(bool start) {
    const Event event = start ? Event::WillSleep : Event::DidWake;
    std::vector<Token> due;
    for (const Observer& o : observers) {
        if (o.event == event) {
            due.push_back(o.token);
        }
    }
    // A callback may remove observers, its own included: look each one up afresh and call a copy.
    for (Token token : due) {
        const auto it = std::find_if(observers.begin(), observers.end(),
                                     [token](const Observer& o) { return o.token == token; });
        if (it != observers.end()) {
            const auto callback = it->callback;
            callback();
        }
    }
}

}  // namespace platform
