#include "platform/tray/BusConnection.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace platform {

namespace {

QString describe(int result) {
    return QString::fromLocal8Bit(std::strerror(-result));
}

std::uint64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1000000U + std::uint64_t(now.tv_nsec) / 1000U;
}

}  // namespace

std::shared_ptr<BusConnection> BusConnection::session() {
    // The same bus Qt's own session connection finds: DBUS_SESSION_BUS_ADDRESS, else the
    // user's bus socket in XDG_RUNTIME_DIR.
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) {
        return std::make_shared<BusConnection>(QString::fromUtf8(address));
    }
    return std::make_shared<BusConnection>("unix:path=" + qEnvironmentVariable("XDG_RUNTIME_DIR") +
                                           "/bus");
}

BusConnection::BusConnection(const QString& address) {
    sd_bus* opened = nullptr;
    int result = sd_bus_new(&opened);
    if (result >= 0) {
        result = sd_bus_set_address(opened, address.toUtf8().constData());
    }
    if (result >= 0) {
        result = sd_bus_set_bus_client(opened, 1);
    }
    if (result >= 0) {
        result = sd_bus_start(opened);
    }
    if (result < 0) {
        sd_bus_unref(opened);
        error = describe(result);
        return;
    }
    bus = opened;
    const int fd = sd_bus_get_fd(bus);
    readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(readable.get(), &QSocketNotifier::activated, this, &BusConnection::dispatch);
    connect(writable.get(), &QSocketNotifier::activated, this, &BusConnection::dispatch);
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, &BusConnection::dispatch);
    rearm();
}

BusConnection::~BusConnection() {
    readable.reset();
    writable.reset();
    sd_bus_flush_close_unref(bus);
}

bool BusConnection::isConnected() const {
    return bus && sd_bus_is_open(bus) > 0;
}

sd_bus* BusConnection::get() const {
    return bus;
}

QString BusConnection::uniqueName() const {
    const char* name = nullptr;
    if (!bus || sd_bus_get_unique_name(bus, &name) < 0) {
        return {};
    }
    return QString::fromUtf8(name);
}

bool BusConnection::requestName(const QString& name) {
    const bool owned = bus && sd_bus_request_name(bus, name.toUtf8().constData(), 0) >= 0;
    // The call may have read messages meant for the objects; they are handled from the loop.
    if (bus) {
        rearm();
    }
    return owned;
}

void BusConnection::releaseName(const QString& name) {
    if (isConnected()) {
        sd_bus_release_name(bus, name.toUtf8().constData());
    }
}

sd_bus_slot* BusConnection::addObject(const char* path, const char* interface,
                                      const sd_bus_vtable* vtable, void* userdata) {
    sd_bus_slot* slot = nullptr;
    if (bus) {
        sd_bus_add_object_vtable(bus, &slot, path, interface, vtable, userdata);
    }
    return slot;
}

sd_bus_message* BusConnection::newSignal(const char* path, const char* interface,
                                         const char* member) {
    sd_bus_message* message = nullptr;
    if (isConnected()) {
        sd_bus_message_new_signal(bus, &message, path, interface, member);
    }
    return message;
}

bool BusConnection::send(sd_bus_message* message) {
    const int result = message && isConnected() ? sd_bus_send(bus, message, nullptr) : -ENOTCONN;
    sd_bus_message_unref(message);
    if (isConnected()) {
        rearm();
    }
    return result >= 0;
}

void BusConnection::dispatch() {
    if (!isConnected()) {
        return;
    }
    // A handler that uses the bus comes back here; the pass already running takes care of it.
    if (processing) {
        rearm();
        return;
    }
    processing = true;
    int result = 0;
    while ((result = sd_bus_process(bus, nullptr)) > 0) {
    }
    processing = false;
    if (result < 0) {
        lost(result);
        return;
    }
    rearm();
}

// Watches for what the bus waits on: always input, output while messages are queued, and the
// earliest reply timeout (zero when read messages wait to be handled).
void BusConnection::rearm() {
    const int events = sd_bus_get_events(bus);
    if (events < 0) {
        lost(events);
        return;
    }
    writable->setEnabled((events & POLLOUT) != 0);
    std::uint64_t until = 0;
    if (sd_bus_get_timeout(bus, &until) < 0 || until == UINT64_MAX) {
        deadline.stop();
        return;
    }
    const std::uint64_t now = monotonicMicroseconds();
    const std::uint64_t ms = until <= now ? 0 : (until - now + 999) / 1000;
    deadline.start(int(std::min<std::uint64_t>(ms, INT_MAX)));
}

// The bus went away; the connection stays closed, with nothing left to wait on.
void BusConnection::lost(int result) {
    error = describe(result);
    readable->setEnabled(false);
    writable->setEnabled(false);
    deadline.stop();
    sd_bus_close(bus);
}

}  // namespace platform
