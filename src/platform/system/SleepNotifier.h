#pragma once

#include <QDBusConnection>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/system/Logger.h"

namespace platform {

// The machine's will-sleep and did-wake notifications, taken from systemd-logind's
// PrepareForSleep signal (true: about to sleep, false: woken). Callbacks run on the thread that
// created the notifier, which is the main thread. Without a bus or without logind, observers
// still register and simply never hear anything; one log line says so.
class SleepNotifier : public QObject {
    Q_OBJECT

  public:
    enum class Event { WillSleep, DidWake };
    // Names one observation, for removeObserver.
    using Token = std::uint64_t;

    explicit SleepNotifier(
        QDBusConnection connection = QDBusConnection::systemBus(),
        std::shared_ptr<const Logger> log = std::make_shared<Logger>("platform"));

    // Observers of one event are called in the order they were added.
    Token addObserver(Event event, std::function<void()> callback);
    // A token that is unknown or already removed is ignored.
    void removeObserver(Token token);

  private slots:
    void prepareForSleep(bool start);

  private:
    struct Observer {
        Token token;
        Event event;
        std::function<void()> callback;
    };

    void listen();

    QDBusConnection connection;
    std::shared_ptr<const Logger> log;
    std::vector<Observer> observers;
    Token nextToken = 1;
};

}  // namespace platform
