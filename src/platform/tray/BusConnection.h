#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <memory>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;
struct sd_bus_vtable;

namespace platform {

// A connection to a session bus that the main thread serves itself, driven by the Qt event
// loop. The status item and its menu live here: they talk to the panel on every frame, and
// handing each message between threads, as Qt's own D-Bus connections do, would cost more than
// painting the frame.
class BusConnection : public QObject {
    Q_OBJECT

  public:
    // The user's session bus.
    static std::shared_ptr<BusConnection> session();
    // The bus at `address`, a D-Bus server address such as "unix:path=/run/user/1000/bus".
    explicit BusConnection(const QString& address);
    ~BusConnection() override;

    bool isConnected() const;
    // Why the connection could not be made or was lost; empty while connected.
    const QString& errorMessage() const { return error; }
    // Null when not connected.
    sd_bus* get() const;
    QString uniqueName() const;
    // Asks for `name` without queueing; false when another connection holds it.
    bool requestName(const QString& name);
    void releaseName(const QString& name);
    // Serves `interface` at `path` from `vtable`, whose handlers get `userdata`; the slot ends it
    // (sd_bus_slot_unref). Null when not connected.
    sd_bus_slot* addObject(const char* path, const char* interface, const sd_bus_vtable* vtable,
                           void* userdata);
    // A signal to fill in and send(); null when not connected.
    sd_bus_message* newSignal(const char* path, const char* interface, const char* member);
    // Sends `message`, which is released; false when it could not be queued.
    bool send(sd_bus_message* message);
    // Takes in what arrived and runs its handlers, then waits for the next; also called after
    // the bus is used from outside the event loop, so that what it queued gets written.
    void dispatch();

  private:
    void connectTo(sd_bus* bus, int result);
    void rearm();
    void lost(int result);

    sd_bus* bus = nullptr;
    QString error;
    bool processing = false;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    // Pending call timeouts, and messages already read but not yet handled.
    QTimer deadline;
};

}  // namespace platform
