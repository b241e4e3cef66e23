#include "platform/tray/BusConnection.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
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

// An added object: the vtable sd-bus reads, built from the interface's table.
struct Served {
    const BusInterface& interface;
    void* object;
    std::vector<sd_bus_vtable> vtable;
};

Served& servedOf(void* userdata) {
    return *static_cast<Served*>(userdata);
}

int getProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                void* userdata, sd_bus_error*) {
    const Served& served = servedOf(userdata);
    BusMessage value(reply);
    for (const BusProperty& entry : served.interface.properties) {
        if (std::strcmp(entry.name, property) == 0) {
            return entry.get(value, served.object);
        }
    }
    return -EINVAL;
}

int callMethod(sd_bus_message* call, void* userdata, sd_bus_error* error) {
    const Served& served = servedOf(userdata);
    const char* member = sd_bus_message_get_member(call);
    for (const BusMethod& entry : served.interface.methods) {
        if (std::strcmp(entry.name, member) != 0) {
            continue;
        }
        sd_bus_message* message = nullptr;
        int result = sd_bus_message_new_method_return(call, &message);
        BusMessage in(call);
        BusMessage reply(message);
        if (result >= 0 && (result = entry.handle(in, reply, served.object)) >= 0) {
            result = sd_bus_send(nullptr, message, nullptr);
        }
        sd_bus_message_unref(message);
        if (result < 0 && reply.errorName() != nullptr) {
            return sd_bus_error_set(error, reply.errorName(),
                                    reply.errorText().toUtf8().constData());
        }
        return result;
    }
    return -EINVAL;
}

std::vector<sd_bus_vtable> vtableOf(const BusInterface& interface) {
    std::vector<sd_bus_vtable> vtable{SD_BUS_VTABLE_START(0)};
    for (const BusProperty& property : interface.properties) {
        vtable.push_back(
            SD_BUS_PROPERTY(property.name, property.signature, getProperty, 0,
                            property.constant ? std::uint64_t(SD_BUS_VTABLE_PROPERTY_CONST) : 0U));
    }
    for (const BusMethod& method : interface.methods) {
        sd_bus_vtable entry = SD_BUS_METHOD(method.name, method.in, method.out, callMethod, 0);
        entry.x.method.names = method.names;
        vtable.push_back(entry);
    }
    for (const BusSignal& signal : interface.emits) {
        sd_bus_vtable entry = SD_BUS_SIGNAL(signal.name, signal.signature, 0);
        entry.x.signal.names = signal.names;
        vtable.push_back(entry);
    }
    vtable.push_back(SD_BUS_VTABLE_END);
    return vtable;
}

// Hands the slot's heap-held callback to sd-bus, which frees it with the slot.
template <typename Callback>
BusSlot ownedBy(sd_bus_slot* slot, Callback* callback) {
    if (!slot) {
        delete callback;
        return nullptr;
    }
    sd_bus_slot_set_destroy_callback(
        slot, [](void* userdata) { delete static_cast<Callback*>(userdata); });
    return BusSlot(slot);
}

}  // namespace

int BusMessage::append(const char* types, ...) {
    va_list arguments;
    va_start(arguments, types);
    const int result = sd_bus_message_appendv(message, types, arguments);
    va_end(arguments);
    return result;
}

int BusMessage::appendBasic(char type, const void* value) {
    return sd_bus_message_append_basic(message, type, value);
}

int BusMessage::appendArray(char type, const void* data, std::size_t size) {
    return sd_bus_message_append_array(message, type, data, size);
}

int BusMessage::open(char type, const char* contents) {
    return sd_bus_message_open_container(message, type, contents);
}

int BusMessage::close() {
    return sd_bus_message_close_container(message);
}

int BusMessage::read(const char* types, ...) {
    va_list arguments;
    va_start(arguments, types);
    const int result = sd_bus_message_readv(message, types, arguments);
    va_end(arguments);
    return result;
}

int BusMessage::readBasic(char type, void* value) {
    return sd_bus_message_read_basic(message, type, value);
}

int BusMessage::readArray(char type, const void** data, std::size_t* size) {
    return sd_bus_message_read_array(message, type, data, size);
}

int BusMessage::enter(char type, const char* contents) {
    return sd_bus_message_enter_container(message, type, contents);
}

int BusMessage::exit() {
    return sd_bus_message_exit_container(message);
}

int BusMessage::skip(const char* types) {
    return sd_bus_message_skip(message, types);
}

bool BusMessage::isError(const char* name) const {
    return sd_bus_message_is_method_error(message, name) > 0;
}

int BusMessage::invalidArguments(const QString& text) {
    return fail(SD_BUS_ERROR_INVALID_ARGS, text);
}

int BusMessage::unknownMethod(const QString& text) {
    return fail(SD_BUS_ERROR_UNKNOWN_METHOD, text);
}

int BusMessage::fail(const char* errorName, const QString& text) {
    name = errorName;
    error = text;
    return -EINVAL;
}

void BusSlotRelease::operator()(sd_bus_slot* slot) const {
    sd_bus_slot_unref(slot);
}

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

// Every use of the bus from outside the event loop goes through here. A blocking call reads
// whatever arrives while it waits, calls to the objects included, and a send may leave output
// queued: the socket is watched anew afterwards, whatever the result, or they wait for the next
// message to arrive, which may be seconds away.
template <typename Use>
int BusConnection::outsideLoop(Use use) {
    if (!isConnected()) {
        return -ENOTCONN;
    }
    const int result = use();
    rearm();
    return result;
}

QString BusConnection::uniqueName() {
    const char* name = nullptr;
    return outsideLoop([&] { return sd_bus_get_unique_name(bus, &name); }) >= 0
               ? QString::fromUtf8(name)
               : QString();
}

bool BusConnection::requestName(const QString& name) {
    return outsideLoop([&] { return sd_bus_request_name(bus, name.toUtf8().constData(), 0); }) >= 0;
}

void BusConnection::releaseName(const QString& name) {
    outsideLoop([&] { return sd_bus_release_name(bus, name.toUtf8().constData()); });
}

BusSlot BusConnection::ownerPid(const QString& name,
                                std::function<void(std::optional<qint64>)> answered) {
    return callAsync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                     "GetConnectionUnixProcessID", name,
                     [answered = std::move(answered)](BusMessage& reply) {
                         if (reply.isError(SD_BUS_ERROR_NAME_HAS_NO_OWNER)) {
                             answered(std::nullopt);
                             return;
                         }
                         std::uint32_t pid = 0;
                         if (!reply.isError()) {
                             reply.read("u", &pid);
                         }
                         answered(pid);
                     });
}

BusSlot BusConnection::addObject(const char* path, const BusInterface& interface, void* object) {
    sd_bus_slot* slot = nullptr;
    auto* served = new Served{interface, object, vtableOf(interface)};
    if (bus) {
        sd_bus_add_object_vtable(bus, &slot, path, interface.name, served->vtable.data(), served);
    }
    return ownedBy(slot, served);
}

bool BusConnection::sendSignal(const char* path, const char* interface, const char* member,
                               const std::function<int(BusMessage&)>& fill) {
    return outsideLoop([&] {
               sd_bus_message* message = nullptr;
               int result = sd_bus_message_new_signal(bus, &message, path, interface, member);
               if (result >= 0 && fill) {
                   BusMessage arguments(message);
                   fill(arguments);
               }
               if (result >= 0) {
                   result = sd_bus_send(bus, message, nullptr);
               }
               sd_bus_message_unref(message);
               return result;
           }) >= 0;
}

BusSlot BusConnection::watchSignals(const QByteArray& rule,
                                    std::function<void(BusMessage&)> received) {
    using Received = std::function<void(BusMessage&)>;
    sd_bus_slot* slot = nullptr;
    auto* callback = new Received(std::move(received));
    outsideLoop([&] {
        return sd_bus_add_match(
            bus, &slot, rule.constData(),
            [](sd_bus_message* signal, void* userdata, sd_bus_error*) {
                BusMessage message(signal);
                (*static_cast<Received*>(userdata))(message);
                return 0;
            },
            callback);
    });
    return ownedBy(slot, callback);
}

BusSlot BusConnection::watchNameOwner(const QString& name,
                                      std::function<void(const QString&)> changed) {
    const QByteArray rule =
        "type='signal',sender='org.freedesktop.DBus',"
        "member='NameOwnerChanged',arg0='" +
        name.toUtf8() + "'";
    return watchSignals(rule, [changed = std::move(changed)](BusMessage& signal) {
        const char* name = nullptr;
        const char* oldOwner = nullptr;
        const char* newOwner = nullptr;
        if (signal.read("sss", &name, &oldOwner, &newOwner) >= 0) {
            changed(QString::fromUtf8(newOwner));
        }
    });
}

// The call is written at once or, when output is queued, as soon as the socket takes it; its
// answer arrives through the event loop.
BusSlot BusConnection::callAsync(const char* service, const char* path, const char* interface,
                                 const char* method, const std::function<int(BusMessage&)>& fill,
                                 std::function<void(BusMessage& reply)> answered) {
    using Answered = std::function<void(BusMessage&)>;
    sd_bus_slot* slot = nullptr;
    auto* callback = new Answered(std::move(answered));
    outsideLoop([&] {
        sd_bus_message* call = nullptr;
        int result = sd_bus_message_new_method_call(bus, &call, service, path, interface, method);
        BusMessage arguments(call);
        if (result >= 0) {
            result = fill(arguments);
        }
        if (result >= 0) {
            result = sd_bus_call_async(
                bus, &slot, call,
                [](sd_bus_message* reply, void* userdata, sd_bus_error*) {
                    BusMessage message(reply);
                    (*static_cast<Answered*>(userdata))(message);
                    return 0;
                },
                callback, 0);
        }
        sd_bus_message_unref(call);
        return result;
    });
    return ownedBy(slot, callback);
}

BusSlot BusConnection::callAsync(const char* service, const char* path, const char* interface,
                                 const char* method, const QString& argument,
                                 std::function<void(BusMessage& reply)> answered) {
    const QByteArray text = argument.toUtf8();
    return callAsync(
        service, path, interface, method,
        [&](BusMessage& call) { return call.append("s", text.constData()); }, std::move(answered));
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
